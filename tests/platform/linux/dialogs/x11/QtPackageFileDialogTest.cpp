#include "platform/desktop/Window.h"
#include "platform/linux/dialogs/QtDialogService.h"
#include "platform/linux/dialogs/QtPackageFileDialog.h"
#include "support/EventWait.h"
#include "support/FakeDisplayService.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

using namespace quorvia;
using namespace quorvia::platform;

namespace {

// Real key presses from the X server, into the window given.
bool press(QWidget* window, const QString& key)
{
    const QString id = QString::number(window->winId());
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}) == 0
        && QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), key}) == 0;
}

// A real click of the first button from the X server, at a point of the widget given.
bool click(QWidget* widget, QPoint point)
{
    const QPoint at = widget->mapToGlobal(point);
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                                         QString::number(at.x()), QString::number(at.y()),
                                                         QStringLiteral("click"), QStringLiteral("1")})
        == 0;
}

// A desktop where one click opens an item in a list, as some desktops set it.
class OneClickOpensStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* data) const override
    {
        return hint == SH_ItemView_ActivateItemOnSingleClick ? 1 : QProxyStyle::styleHint(hint, option, widget, data);
    }
};

QFileDialog* visibleChooser()
{
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// The backup in the active chooser's list, once listed, and that list.
QModelIndex listedBackup(QAbstractItemView*& list)
{
    auto* chooser = visibleChooser();
    list = chooser ? chooser->findChild<QAbstractItemView*>(QStringLiteral("listView")) : nullptr;
    if (!list || !chooser->isActiveWindow())
        return {};
    const QModelIndex root = list->rootIndex();
    for (int row = 0; row < list->model()->rowCount(root); ++row) {
        const QModelIndex item = list->model()->index(row, 0, root);
        if (item.data().toString() == QStringLiteral("演讲项目备份.quorviabackup"))
            return item;
    }
    return {};
}

// The alert over the chooser, once it shows.
QDialog* visibleAlert()
{
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget);
            dialog && dialog->isVisible() && !qobject_cast<QFileDialog*>(dialog))
            return dialog;
    return nullptr;
}

// Saving a backup where one already is: the speaker's second export to the same place.
class BackupSavePanel : public ::testing::Test {
protected:
    BackupSavePanel() : savedHome_(qgetenv("HOME"))
    {
        qputenv("HOME", home_.path().toLocal8Bit());
        auto displays = std::make_shared<test::FakeDisplayService>();
        displays->setScreens({test::FakeDisplayService::builtIn()});
        env_.platform().displayService = displays;
        QDir(home_.path()).mkpath(existing());
        QFile manifest(existing() + QStringLiteral("/manifest.json"));
        EXPECT_TRUE(manifest.open(QIODevice::WriteOnly));
    }
    ~BackupSavePanel() override { qputenv("HOME", savedHome_); }

    QString existing() const { return QDir(home_.path()).absoluteFilePath(QStringLiteral("演讲项目备份.quorviabackup")); }

    void open()
    {
        FileDialogRequest request;
        request.title = QStringLiteral("导出全部演讲项目");
        request.prompt = QStringLiteral("导出");
        request.allowedExtensions = {QStringLiteral("quorviabackup")};
        request.suggestedName = QStringLiteral("演讲项目备份.quorviabackup");
        service_.beginSavePanel(request, [this](std::optional<QString> path) { answer_ = path; });
    }

    // Runs the steps, each once its condition holds, until the chooser is answered.
    void run(std::vector<std::function<bool()>> steps)
    {
        std::size_t next = 0;
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (next < steps.size() && steps[next]())
                ++next;
        });
        poll.start();
        quorvia::test::waitUntil(
            [&] {
                env_.scheduler().runPending();
                return answer_.has_value();
            },
            90000);
        EXPECT_EQ(next, steps.size()) << "steps left undone; alert " << (visibleAlert() != nullptr) << " chooser "
                                      << (visibleChooser() != nullptr) << " active "
                                      << (visibleChooser() && visibleChooser()->isActiveWindow());
    }

    test::TestPlatform env_;
    QTemporaryDir home_;
    QByteArray savedHome_;
    native::QtDialogService service_;
    std::optional<std::optional<QString>> answer_;
};

} // namespace

TEST_F(BackupSavePanel, ReturnOnAnExistingBackupAsksToReplaceItAndReturnReplaces)
{
    open();
    QStringList alertTexts;
    QString folderWhileAsked;
    int asked = 0;
    run({
        [&] { return visibleChooser() && visibleChooser()->isActiveWindow() ? press(visibleChooser(), QStringLiteral("Return")) : false; },
        // The first answer keeps the chooser open where it was.
        [&] {
            QDialog* alert = visibleAlert();
            if (!alert)
                return false;
            ++asked;
            for (auto* label : alert->findChildren<QLabel*>())
                if (!label->text().isEmpty())
                    alertTexts << label->text();
            test::keepSnapshot(alert->grab(), QStringLiteral("backup-replace-alert"));
            return press(alert, QStringLiteral("Escape"));
        },
        [&] {
            QFileDialog* chooser = visibleChooser();
            if (visibleAlert() || !chooser)
                return false;
            folderWhileAsked = QDir(chooser->directory()).absolutePath();
            test::keepSnapshot(chooser->grab(), QStringLiteral("backup-save-panel"));
            return press(chooser, QStringLiteral("Return"));
        },
        [&] {
            QDialog* alert = visibleAlert();
            if (!alert)
                return false;
            ++asked;
            return press(alert, QStringLiteral("Return"));
        },
    });
    ASSERT_TRUE(answer_);
    EXPECT_EQ(*answer_, existing());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(folderWhileAsked, QDir(home_.path()).absolutePath()) << "the chooser walked into the backup";
    EXPECT_TRUE(alertTexts.contains(QStringLiteral("“演讲项目备份.quorviabackup”已存在。要替换它吗？")))
        << alertTexts.join(u'|').toStdString();
    EXPECT_FALSE(service_.isPresenting());
}

TEST_F(BackupSavePanel, AFolderThatIsNotABackupIsRefusedInTheChooserWhichStaysForAnotherName)
{
    // Latin names: the name field's fallback font for CJK leaks inside the system's font library.
    QDir(home_.path()).mkpath(QStringLiteral("old-notes.quorviabackup"));
    const QString fake = QDir(home_.path()).absoluteFilePath(QStringLiteral("old-notes.quorviabackup"));
    FileDialogRequest request;
    request.title = QStringLiteral("导出全部演讲项目");
    request.prompt = QStringLiteral("导出");
    request.allowedExtensions = {QStringLiteral("quorviabackup")};
    request.suggestedName = QStringLiteral("old-notes.quorviabackup");
    QStringList checked;
    request.refuseReplacing = [&](const QString& path) -> std::optional<QString> {
        checked << path;
        if (path == fake)
            return QStringLiteral("所选位置已有同名文件或文件夹，且它不是演讲项目备份。请换一个名称或位置。");
        return std::nullopt;
    };
    // Opened from the island the speaker clicked, the refusal still belongs to the chooser.
    Window island(Rect(0, 0, 200, 100));
    island.orderFront();
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(island.windowHandle(), &click);
    service_.beginSavePanel(request, [this](std::optional<QString> path) { answer_ = path; });
    QStringList alertTexts;
    run({
        [&] { return visibleChooser() && visibleChooser()->isActiveWindow() ? press(visibleChooser(), QStringLiteral("Return")) : false; },
        [&] {
            QDialog* alert = visibleAlert();
            if (!alert)
                return false;
            for (auto* label : alert->findChildren<QLabel*>())
                if (!label->text().isEmpty())
                    alertTexts << label->text();
            test::keepSnapshot(alert->grab(), QStringLiteral("backup-not-a-backup-alert"));
            return press(alert, QStringLiteral("Return"));
        },
        // Still there, with the keyboard, for another name.
        [&] {
            QFileDialog* chooser = visibleChooser();
            if (visibleAlert() || !chooser || !chooser->isActiveWindow())
                return false;
            return press(chooser, QStringLiteral("ctrl+a"))
                && QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("talk")}) == 0
                && press(chooser, QStringLiteral("Return"));
        },
    });
    ASSERT_TRUE(answer_);
    EXPECT_EQ(*answer_, QDir(home_.path()).absoluteFilePath(QStringLiteral("talk.quorviabackup")));
    EXPECT_EQ(alertTexts, (QStringList{QStringLiteral("不能替换“old-notes.quorviabackup”"),
                                       QStringLiteral("所选位置已有同名文件或文件夹，且它不是演讲项目备份。请换一个名称或位置。")}));
    EXPECT_EQ(checked.value(0), fake);
    EXPECT_TRUE(QDir(fake).exists());
}

TEST_F(BackupSavePanel, ReturnOnABackupInTheListChoosesItInTheOpenPanel)
{
    FileDialogRequest request;
    request.title = QStringLiteral("导入演讲项目备份");
    request.prompt = QStringLiteral("导入");
    request.canChooseDirectories = true;
    request.allowedExtensions = {QStringLiteral("quorviabackup")};
    QDir(home_.path()).mkpath(QStringLiteral("其他文件夹"));
    service_.beginOpenPanel(request, [this](std::optional<QString> path) { answer_ = path; });
    QString acceptTitle;
    run({
        [&] {
            QAbstractItemView* list = nullptr;
            const QModelIndex item = listedBackup(list);
            if (!item.isValid())
                return false;
            list->setFocus();
            list->setCurrentIndex(item);
            return true;
        },
        [&] {
            auto* chooser = visibleChooser();
            for (auto* button : chooser->findChildren<QPushButton*>())
                if (button->isDefault())
                    acceptTitle = button->text();
            test::keepSnapshot(chooser->grab(), QStringLiteral("backup-open-panel"));
            return press(chooser, QStringLiteral("Return"));
        },
    });
    ASSERT_TRUE(answer_);
    EXPECT_EQ(*answer_, existing());
    // The button keeps its own title: a package is chosen, not opened.
    EXPECT_EQ(acceptTitle, QStringLiteral("导入"));
}

// One click on a backup selects it and the chooser's button opens it, also
// where a click opens an item: the chooser would walk into the package there.
TEST_F(BackupSavePanel, OneClickOnABackupSelectsItAndTheButtonOpensIt)
{
    const QString previousStyle = QApplication::style()->name();
    QApplication::setStyle(new OneClickOpensStyle(QStyleFactory::create(previousStyle)));
    const std::shared_ptr<void> restore(nullptr, [&](void*) { QApplication::setStyle(QStyleFactory::create(previousStyle)); });
    FileDialogRequest request;
    request.title = QStringLiteral("导入演讲项目备份");
    request.prompt = QStringLiteral("导入");
    request.canChooseFiles = true;
    request.canChooseDirectories = true;
    request.allowedExtensions = {QStringLiteral("quorviabackup")};
    service_.beginOpenPanel(request, [this](std::optional<QString> path) { answer_ = path; });
    QString acceptTitle;
    QString folderAfterClick;
    QPushButton* accept = nullptr;
    run({
        [&] {
            QAbstractItemView* list = nullptr;
            const QModelIndex item = listedBackup(list);
            return item.isValid() && click(list->viewport(), list->visualRect(item).center());
        },
        [&] {
            auto* chooser = visibleChooser();
            for (auto* button : chooser->findChildren<QPushButton*>())
                if (button->isDefault())
                    accept = button;
            if (!accept || !accept->isEnabled() || accept->text() != request.prompt)
                return false;
            acceptTitle = accept->text();
            folderAfterClick = QDir(chooser->directory()).absolutePath();
            return click(accept, accept->rect().center());
        },
    });
    ASSERT_TRUE(answer_) << "the button never opened the backup: " << (accept ? accept->text().toStdString() : "no button");
    EXPECT_EQ(*answer_, existing());
    EXPECT_EQ(folderAfterClick, QDir(home_.path()).absolutePath()) << "the chooser walked into the backup";
    EXPECT_EQ(acceptTitle, QStringLiteral("导入"));
}
