#include "platform/linux/dialogs/QtPackageFileDialog.h"

#include "platform/application/ApplicationIcon.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeView>

namespace quorvia::platform::native {

namespace {

// A backup package shows as one item of its own kind, with its own icon
// (file managers show a folder: their type database ignores folder names).
// Asked on the choosers' file-reading thread, and by a model that may outlive
// its dialog: one provider, holding nothing, serves every chooser.
class PackageIconProvider final : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override
    {
        return isBackup(info) ? backupPackageIcon() : QFileIconProvider::icon(info);
    }
    QString type(const QFileInfo& info) const override
    {
        return isBackup(info) ? backupPackageTypeName() : QFileIconProvider::type(info);
    }
    using QFileIconProvider::icon;

    // Kept to the end of the process: nothing is torn down after the application.
    static PackageIconProvider& shared()
    {
        static auto* provider = new PackageIconProvider;
        return *provider;
    }

private:
    static bool isBackup(const QFileInfo& info)
    {
        const QString suffix = u'.' + backupPackageExtension();
        return info.isDir() && info.fileName().size() > suffix.size()
            && info.fileName().endsWith(suffix, Qt::CaseInsensitive);
    }
};

} // namespace

QtPackageFileDialog::QtPackageFileDialog(QWidget* parent, const QString& title, std::vector<QString> packageExtensions,
                                         const QString& folder)
    : QFileDialog(parent, title, folder), packageExtensions_(std::move(packageExtensions))
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setIconProvider(&PackageIconProvider::shared());
    // Qt sizes the columns for short Latin texts; sizes and kinds in Chinese need more.
    if (auto* details = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        const QFontMetrics metrics(details->font());
        QHeaderView* header = details->header();
        header->resizeSection(0, metrics.horizontalAdvance(QStringLiteral("演讲项目备份.quorviabackup")) + 40);
        header->resizeSection(1, metrics.horizontalAdvance(QStringLiteral("888.8 KiB")) + 24);
        header->resizeSection(2, metrics.horizontalAdvance(backupPackageTypeName()) + 24);
        const QDateTime late(QDate(2026, 12, 31), QTime(23, 59, 59));
        header->resizeSection(3, metrics.horizontalAdvance(QLocale::system().toString(late, QLocale::ShortFormat)) + 24);
        header->setStretchLastSection(true);
    }
    for (auto* view : findChildren<QAbstractItemView*>()) {
        // The list, the detail view and the sidebar's places.
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        if (view->selectionModel())
            connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                    &QtPackageFileDialog::keepAcceptTitle, Qt::QueuedConnection);
    }
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textChanged, this, &QtPackageFileDialog::keepAcceptTitle, Qt::QueuedConnection);
    connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
        // Show a picked package's name where a picked file's name shows.
        if (isPackage(path))
            if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(QFileInfo(path).fileName());
    });
}

void QtPackageFileDialog::setAcceptTitle(const QString& title)
{
    acceptTitle_ = title;
    setLabelText(QFileDialog::Accept, title);
}

bool QtPackageFileDialog::isPackage(const QString& path) const
{
    const QFileInfo item(path);
    if (!item.isDir())
        return false;
    for (const auto& extension : packageExtensions_)
        if (item.fileName().endsWith(u'.' + extension, Qt::CaseInsensitive) && item.fileName().size() > extension.size() + 1)
            return true;
    return false;
}

bool QtPackageFileDialog::refusesReplacing(const QString& path)
{
    if (acceptMode() != QFileDialog::AcceptSave || !onCheckReplace)
        return false;
    const QFileInfo item(path);
    if (!item.exists() && !item.isSymLink())
        return false;
    const auto reason = onCheckReplace(item.absoluteFilePath());
    if (!reason)
        return false;
    if (onRefuseReplace)
        onRefuseReplace(item.absoluteFilePath(), *reason);
    return true;
}

void QtPackageFileDialog::accept()
{
    const QStringList files = selectedFiles();
    // Before Qt's own question to replace a file, which would come first otherwise.
    if (files.size() == 1 && refusesReplacing(files.front()))
        return;
    if (files.size() == 1 && isPackage(files.front())) {
        choosePackage(files.front());
        return;
    }
    // A name typed without the package's extension still names the package
    // that saving will write, once the extension is added.
    if (files.size() == 1 && acceptMode() == QFileDialog::AcceptSave && packageExtensions_.size() == 1
        && !QFileInfo::exists(files.front())) {
        const QString named = files.front() + u'.' + packageExtensions_.front();
        if (refusesReplacing(named))
            return;
        if (isPackage(named)) {
            choosePackage(named);
            return;
        }
    }
    QFileDialog::accept();
}

void QtPackageFileDialog::choosePackage(const QString& path)
{
    if (refusesReplacing(path))
        return;
    if (acceptMode() == QFileDialog::AcceptSave && onConfirmReplace && !onConfirmReplace(path))
        return;
    chosenPackage_ = QFileInfo(path).absoluteFilePath();
    QDialog::accept();
}

bool QtPackageFileDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && !releasingQuietly_ && holdsPackageClickedOnce(watched, event)) {
        // Where one click opens an item (a desktop's setting), the chooser
        // would walk into a package: one click selects it, as it selects a
        // file, and the view says nothing of an activation.
        auto* view = static_cast<QAbstractItemView*>(watched->parent());
        const QSignalBlocker quiet(view);
        releasingQuietly_ = true;
        QCoreApplication::sendEvent(watched, event);
        releasingQuietly_ = false;
        return true;
    }
    QAbstractItemView* view = nullptr;
    QModelIndex index;
    if (event->type() == QEvent::MouseButtonDblClick) {
        view = qobject_cast<QAbstractItemView*>(watched->parent());
        if (view && view->viewport() == watched)
            index = view->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        view = qobject_cast<QAbstractItemView*>(watched);
        if (view && (key == Qt::Key_Return || key == Qt::Key_Enter))
            index = view->currentIndex();
    }
    if (index.isValid()) {
        const QString path = index.data(QFileSystemModel::FilePathRole).toString();
        if (!path.isEmpty() && isPackage(path)) {
            choosePackage(path);
            return true;
        }
    }
    return QFileDialog::eventFilter(watched, event);
}

bool QtPackageFileDialog::holdsPackageClickedOnce(QObject* viewport, QEvent* release) const
{
    auto* view = qobject_cast<QAbstractItemView*>(viewport->parent());
    if (!view || view->viewport() != viewport
        || !view->style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, view))
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(release);
    const QModelIndex index = view->indexAt(mouse->position().toPoint());
    return mouse->button() == Qt::LeftButton && index.isValid()
        && isPackage(index.data(QFileSystemModel::FilePathRole).toString());
}

void QtPackageFileDialog::keepAcceptTitle()
{
    const QStringList files = selectedFiles();
    if (acceptTitle_.isEmpty() || files.size() != 1 || !isPackage(files.front()))
        return;
    auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!box)
        return;
    for (auto* button : box->buttons())
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            button->setText(acceptTitle_);
            button->setEnabled(true);
        }
}

} // namespace quorvia::platform::native
