#pragma once

#include <QDir>
#include <QFileDialog>

#include <functional>
#include <optional>
#include <vector>

namespace quorvia::platform::native {

// Qt's own file dialog, where a folder named with one of the package
// extensions counts as one item: choosing it picks it, as a file is picked,
// instead of walking into it, and saving onto one asks first.
class QtPackageFileDialog final : public QFileDialog {
    Q_OBJECT
public:
    // Starts in `folder`. Without one, Qt would start where its last dialog
    // was, looking at that folder on the main thread whatever became of it.
    QtPackageFileDialog(QWidget* parent, const QString& title, std::vector<QString> packageExtensions,
                        const QString& folder = QDir::homePath());

    // Large enough for every column of the detail view at its width.
    static QSize readableSize() { return QSize(920, 560); }

    // The confirming button's title, kept over a package as well.
    void setAcceptTitle(const QString& title);
    bool isPackage(const QString& path) const;
    // The package picked, when the dialog was answered with one.
    const QString& chosenPackage() const { return chosenPackage_; }

    // Saving onto an existing package: true to replace it. Unset, it is replaced.
    std::function<bool(const QString& path)> onConfirmReplace;
    // Saving onto any existing item: why it may not be replaced, asked first;
    // nothing when it may. Unset, every item may be.
    std::function<std::optional<QString>(const QString& path)> onCheckReplace;
    // Says a refusal of the check above; the dialog stays open.
    std::function<void(const QString& path, const QString& reason)> onRefuseReplace;

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choosePackage(const QString& path);
    // A left button's release over a package in a view that opens an item on one click.
    bool holdsPackageClickedOnce(QObject* viewport, QEvent* release) const;
    // Saving onto an item that must stay: says so and answers true.
    bool refusesReplacing(const QString& path);
    // Qt retitles the button "Open" over a folder; a package is chosen, not
    // opened. Runs after Qt's own update.
    void keepAcceptTitle();

    std::vector<QString> packageExtensions_;
    QString chosenPackage_;
    QString acceptTitle_;
    bool releasingQuietly_ = false;
};

} // namespace quorvia::platform::native
