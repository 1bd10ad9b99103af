#include "platform/linux/dialogs/QtDialogService.h"
#include "platform/desktop/Window.h"
#include "platform/linux/application/LinuxApplicationShell.h"
#include "platform/application/ApplicationIcon.h"
#include "platform/linux/dialogs/QtPackageFileDialog.h"
#include "platform/linux/application/QtTranslations.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QTranslator>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <future>
#include <thread>

using namespace quorvia::platform;
using quorvia::platform::native::QtDialogService;
using quorvia::platform::native::QtPackageFileDialog;

namespace {

QDialog* openAlert()
{
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// The alert's buttons from left to right.
std::vector<QPushButton*> buttonsLeftToRight(QDialog* dialog)
{
    const auto found = dialog->findChildren<QPushButton*>();
    std::vector<QPushButton*> buttons(found.begin(), found.end());
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    return buttons;
}

// Runs while the alert is up, then lets runAlert return.
void whileAlertIsUp(std::function<void(QDialog*)> act)
{
    QTimer::singleShot(0, [act] {
        QDialog* dialog = openAlert();
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

// Counts the windows other than dialogs shown while it lives.
struct StrayWindows : QObject {
    StrayWindows() { qApp->installEventFilter(this); }
    int shown = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        shown += event->type() == QEvent::Show && widget && widget->isWindow() && !qobject_cast<QDialog*>(widget);
        return false;
    }
};

} // namespace

TEST(QtDialogServiceTest, KeepsButtonOrderWithTheFirstAtTheTrailingEndAndAnswersByIndex)
{
    QtDialogService service;
    AlertRequest request;
    request.style = AlertStyle::warning;
    request.messageText = QStringLiteral("删除全部稿件块？");
    request.informativeText = QStringLiteral("数字块和演示块都会删除。");
    request.buttons = {QStringLiteral("全部删除"), QStringLiteral("取消")};

    QStringList titles;
    bool presentingWhileUp = false;
    const StrayWindows strays;
    whileAlertIsUp([&](QDialog* dialog) {
        presentingWhileUp = service.isPresenting();
        auto buttons = buttonsLeftToRight(dialog);
        for (auto* button : buttons)
            titles << button->text();
        EXPECT_TRUE(buttons.back()->isDefault());
        dialog->grab().save(QStringLiteral("/tmp/quorvia-alert.png"));
        buttons.back()->click();
    });
    const auto answer = service.runAlert(request);
    EXPECT_EQ(titles, (QStringList{QStringLiteral("取消"), QStringLiteral("全部删除")}));
    EXPECT_EQ(answer.buttonIndex, 0);
    EXPECT_TRUE(answer.isFirstButton());
    EXPECT_TRUE(presentingWhileUp);
    EXPECT_FALSE(service.isPresenting());
    EXPECT_EQ(strays.shown, 0) << "a part of the alert showed as a window of its own";

    whileAlertIsUp([](QDialog* dialog) { buttonsLeftToRight(dialog).front()->click(); });
    EXPECT_EQ(service.runAlert(request).buttonIndex, 1);

    whileAlertIsUp([](QDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(service.runAlert(request).buttonIndex, -1);
}

// Asked right after a click on the island, while the server has yet to follow,
// the alert belongs to the island and, answered while the window manager hands
// the keyboard to 稿件管理, gives the keyboard back to the island.
TEST(QtDialogServiceTest, AnAlertAskedRightAfterAClickBelongsToTheClickedWindow)
{
    quorvia::test::TestPlatform env;
    env.platform().displayService = std::make_shared<quorvia::test::FakeDisplayService>();
    Window island(Rect(0, 0, 200, 100)), management(Rect(300, 0, 200, 100));
    island.orderFront();
    // Where the server has the keyboard at the click: still in 稿件管理, or nowhere yet.
    for (const auto& focus : {KeyboardFocus{KeyboardFocus::Holder::ours, &management}, KeyboardFocus{KeyboardFocus::Holder::nobody}}) {
        management.makeKeyAndOrderFront();
        QApplication::processEvents();
        env.windowSystem().focus = focus;
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(island.windowHandle(), &click);
        native::LinuxApplicationShell().activateIgnoringOtherApps(); // as every command's alert does first
        QWidget* owner = nullptr;
        whileAlertIsUp([&](QDialog* dialog) {
            owner = dialog->parentWidget();
            env.windowSystem().focus = KeyboardFocus{KeyboardFocus::Holder::ours, &management};
            dialog->reject();
        });
        QtDialogService().runAlert({});
        EXPECT_EQ(owner, &island);
        quorvia::test::runEventsFor(100);
        EXPECT_EQ(QGuiApplication::focusWindow(), island.windowHandle()) << "the keyboard stayed where the window manager put it";
    }
}

TEST(QtDialogServiceTest, TextFieldStartsWithItsValueAndAnswersWhatWasTypedUntrimmed)
{
    QtDialogService service;
    AlertRequest request;
    request.messageText = QStringLiteral("新建演讲项目");
    request.buttons = {QStringLiteral("新建"), QStringLiteral("取消")};
    request.textField = AlertRequest::TextField{QStringLiteral("新演讲 3"), {}, 320, true};

    QString initial;
    bool selected = false;
    whileAlertIsUp([&](QDialog* dialog) {
        auto* field = dialog->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        initial = field->text();
        selected = field->hasSelectedText() && field->selectedText() == initial;
        dialog->grab().save(QStringLiteral("/tmp/quorvia-alert-field.png"));
        field->setText(QStringLiteral("  年会  "));
        buttonsLeftToRight(dialog).back()->click();
    });
    const auto answer = service.runAlert(request);
    EXPECT_EQ(initial, QStringLiteral("新演讲 3"));
    EXPECT_TRUE(selected);
    EXPECT_EQ(answer.buttonIndex, 0);
    EXPECT_EQ(answer.text, QStringLiteral("  年会  "));
}

namespace {

QFileDialog* openChooser()
{
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// A chooser opens once its remembered folder has been checked; only a hang reaches the deadline.
QFileDialog* awaitChooser()
{
    quorvia::test::waitUntil([] { return openChooser() != nullptr; }, 20000);
    return openChooser();
}

// A file system mounted on `folder` that never answers, as a share does once
// its network is gone: whatever looks at the folder waits until release().
class SilentMount {
public:
    explicit SilentMount(const QString& folder) : path_(QFile::encodeName(folder))
    {
        fd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fd_ < 0) {
            problem_ = QStringLiteral("no /dev/fuse");
            return;
        }
        // The mount's first request is never read, so every request waits behind it.
        const std::string options = "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=" + std::to_string(::getuid())
            + ",group_id=" + std::to_string(::getgid());
        if (::mount("quorvia-silent", path_.constData(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            problem_ = QString::fromLocal8Bit(std::strerror(errno));
            release();
        }
    }
    ~SilentMount()
    {
        release();
        if (problem_.isEmpty())
            ::umount2(path_.constData(), MNT_DETACH);
    }
    // Whoever waits on the mount is told it is gone.
    void release()
    {
        if (fd_ >= 0)
            ::close(std::exchange(fd_, -1));
    }
    QString problem() const { return problem_; }

private:
    QByteArray path_;
    int fd_ = -1;
    QString problem_;
};

// A home folder of the test's own, so choosers never start in the user's.
class ChooserFolders : public ::testing::Test {
protected:
    ChooserFolders() : savedHome_(qgetenv("HOME"))
    {
        qputenv("HOME", home_.path().toLocal8Bit());
        auto displays = std::make_shared<quorvia::test::FakeDisplayService>();
        displays->setScreens({quorvia::test::FakeDisplayService::builtIn()});
        env_.platform().displayService = displays;
    }
    ~ChooserFolders() override { qputenv("HOME", savedHome_); }

    // Opens a chooser for the extensions and answers it with the path, or
    // cancels it; gives the folder it started in.
    QString choose(std::vector<QString> extensions, std::optional<QString> answer)
    {
        FileDialogRequest request;
        request.allowedExtensions = std::move(extensions);
        std::optional<std::optional<QString>> completed;
        service_.beginOpenPanel(request, [&](std::optional<QString> path) { completed = path; });
        QFileDialog* dialog = awaitChooser();
        EXPECT_NE(dialog, nullptr);
        if (!dialog)
            return {};
        const QString started = QDir(dialog->directory()).absolutePath();
        if (answer) {
            dialog->setDirectory(QFileInfo(*answer).absolutePath());
            dialog->selectFile(QFileInfo(*answer).fileName());
            static_cast<QDialog*>(dialog)->accept(); // through the dialog, as its button does
        } else {
            dialog->reject();
        }
        env_.scheduler().runPending();
        EXPECT_TRUE(completed);
        if (completed) {
            EXPECT_EQ(*completed, answer);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return started;
    }

    // Opens and cancels a chooser while the mount stays silent. Should the main
    // thread wait on the mount, a watchdog frees it after 30 s and the test fails.
    QString chooseBeside(SilentMount& mount)
    {
        std::atomic<bool> done{false};
        std::atomic<bool> watchdogFired{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 600 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!done) {
                watchdogFired = true;
                mount.release();
            }
        });
        const QString started = choose({QStringLiteral("md")}, std::nullopt);
        done = true;
        watchdog.join();
        EXPECT_FALSE(watchdogFired.load()) << "the main thread waited on the silent mount";
        return started;
    }

    QString file(const QString& relative)
    {
        const QString path = work_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("1\n");
        return QFileInfo(path).absoluteFilePath();
    }

    quorvia::test::TestPlatform env_;
    QTemporaryDir home_;
    QTemporaryDir work_;
    QByteArray savedHome_;
    QtDialogService service_;
};

} // namespace

TEST_F(ChooserFolders, StartAtHomeThenWhereTheSameKindOfFileWasLastChosen)
{
    const QString home = QDir(home_.path()).absolutePath();
    const QString talk = file(QStringLiteral("talks/autumn/talk.md"));
    const QString deck = file(QStringLiteral("decks/deck.key"));

    EXPECT_EQ(choose({QStringLiteral("txt"), QStringLiteral("md")}, talk), home);
    // A cancelled chooser forgets nothing; the same kind in another order is the same kind.
    EXPECT_EQ(choose({QStringLiteral("md"), QStringLiteral("txt")}, std::nullopt), QFileInfo(talk).absolutePath());
    EXPECT_EQ(choose({QStringLiteral("txt"), QStringLiteral("md")}, std::nullopt), QFileInfo(talk).absolutePath());
    // Another kind keeps a folder of its own.
    EXPECT_EQ(choose({QStringLiteral("key")}, deck), home);
    EXPECT_EQ(choose({QStringLiteral("key")}, std::nullopt), QFileInfo(deck).absolutePath());
    EXPECT_EQ(choose({QStringLiteral("txt"), QStringLiteral("md")}, std::nullopt), QFileInfo(talk).absolutePath());

    // A folder that has gone sends the chooser home again.
    QDir(work_.filePath(QStringLiteral("talks"))).removeRecursively();
    EXPECT_EQ(choose({QStringLiteral("txt"), QStringLiteral("md")}, std::nullopt), home);
}

TEST_F(ChooserFolders, ARememberedFolderThatNeverAnswersIsLeftToItsThreadAndTheChooserStartsAtHome)
{
    const QString home = QDir(home_.path()).absolutePath();
    const QString talk = file(QStringLiteral("share/talk.md"));
    ASSERT_EQ(choose({QStringLiteral("md")}, talk), home);

    // A stand-in for a share that stopped answering: the check blocks until the test ends.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> checks{0};
    std::atomic<bool> onMainThread{false};
    const auto mainThread = std::this_thread::get_id();
    service_.checkFolder = [&, released](const QString&) {
        onMainThread = onMainThread || std::this_thread::get_id() == mainThread;
        ++checks;
        released.wait();
        return true;
    };
    EXPECT_EQ(choose({QStringLiteral("md")}, std::nullopt), home);
    EXPECT_EQ(choose({QStringLiteral("md")}, std::nullopt), home);
    quorvia::test::waitUntil([&] { return checks.load() >= 2; }, 20000);
    EXPECT_EQ(checks.load(), 2);
    EXPECT_FALSE(onMainThread.load());

    // The late answers open nothing more.
    release.set_value();
    quorvia::test::runEventsFor(300);
    EXPECT_EQ(openChooser(), nullptr);

    // A folder that answers in time is still where the chooser starts.
    service_.checkFolder = nullptr;
    EXPECT_EQ(choose({QStringLiteral("md")}, std::nullopt), QFileInfo(talk).absolutePath());
}

TEST_F(ChooserFolders, AFolderOnAMountThatStoppedAnsweringNeverHoldsTheMainThread)
{
    const QString home = QDir(home_.path()).absolutePath();
    const QString talk = file(QStringLiteral("share/talk.md"));
    const QString share = QFileInfo(talk).absolutePath();
    // Remembered by us, and by Qt as the last folder a dialog showed.
    ASSERT_EQ(choose({QStringLiteral("md")}, talk), home);
    ASSERT_EQ(choose({QStringLiteral("md")}, std::nullopt), share);

    SilentMount mount(share);
    if (!mount.problem().isEmpty())
        GTEST_SKIP() << "no FUSE mount here (" << mount.problem().toStdString()
                     << "); ARememberedFolderThatNeverAnswers... stands in for it";
    const QString started = chooseBeside(mount);
    EXPECT_EQ(started, home);
    mount.release();
}

TEST_F(ChooserFolders, AFolderAnotherQtApplicationLastShowedOnASilentMountIsNeverLookedAt)
{
    const QString share = QFileInfo(file(QStringLiteral("share/talk.md"))).absolutePath();
    // Where Qt keeps its dialogs' last folder, shared by every Qt application of the user.
    QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
        .setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(share).toString());
    SilentMount mount(share);
    if (!mount.problem().isEmpty())
        GTEST_SKIP() << "no FUSE mount here (" << mount.problem().toStdString() << ")";
    const QString started = chooseBeside(mount);
    EXPECT_EQ(started, QDir(home_.path()).absolutePath());
    mount.release();
}

TEST(QtPackageFileDialogTest, ADoubleClickedPackageIsChosenAndAPlainFolderIsEntered)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("演讲项目备份.quorviabackup"));
    QDir(root.path()).mkpath(QStringLiteral("旧稿.quorviabackup.d"));
    quorvia::platform::native::QtPackageFileDialog dialog(nullptr, QStringLiteral("导入演讲项目备份"),
                                                          {QStringLiteral("quorviabackup")});
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(root.path());
    EXPECT_TRUE(dialog.isPackage(root.filePath(QStringLiteral("演讲项目备份.quorviabackup"))));
    EXPECT_FALSE(dialog.isPackage(root.filePath(QStringLiteral("旧稿.quorviabackup.d"))));
    EXPECT_FALSE(dialog.isPackage(root.filePath(QStringLiteral("missing.quorviabackup"))));
    dialog.show();
    auto* list = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);

    auto doubleClick = [&](const QString& name) {
        QModelIndex item;
        if (!quorvia::test::waitUntil([&] {
                const QModelIndex root = list->rootIndex();
                for (int row = 0; row < list->model()->rowCount(root) && !item.isValid(); ++row)
                    if (list->model()->index(row, 0, root).data().toString() == name)
                        item = list->model()->index(row, 0, root);
                return item.isValid();
            }))
            return false;
        const QPointF at = list->visualRect(item).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &press);
        QMouseEvent twice(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &twice);
        return true;
    };
    // A folder that only looks alike is walked into, as any folder is.
    ASSERT_TRUE(doubleClick(QStringLiteral("旧稿.quorviabackup.d")));
    QCoreApplication::processEvents();
    EXPECT_EQ(QDir(dialog.directory()).dirName(), QStringLiteral("旧稿.quorviabackup.d"));
    EXPECT_TRUE(dialog.isVisible());

    dialog.setDirectory(root.path());
    ASSERT_TRUE(doubleClick(QStringLiteral("演讲项目备份.quorviabackup")));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.chosenPackage(), QDir(root.path()).absoluteFilePath(QStringLiteral("演讲项目备份.quorviabackup")));
    EXPECT_EQ(QDir(dialog.directory()).absolutePath(), QDir(root.path()).absolutePath()) << "walked into the package";
}

TEST(QtPackageFileDialogTest, SavingOntoABackupByAnyOfItsNamesAsksFirst)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("演讲项目备份.quorviabackup"));
    QDir(root.path()).mkpath(QStringLiteral("talk.v2.quorviabackup"));
    const QString home = QDir(root.path()).absolutePath();
    struct Case {
        QString typed;
        bool replace;
        QString chosen;
    };
    const Case cases[] = {
        {QStringLiteral("演讲项目备份.quorviabackup"), true, home + QStringLiteral("/演讲项目备份.quorviabackup")},
        {QStringLiteral("演讲项目备份"), true, home + QStringLiteral("/演讲项目备份.quorviabackup")},
        {QStringLiteral("talk.v2"), true, home + QStringLiteral("/talk.v2.quorviabackup")},
        // Declined: the chooser stays up where it was.
        {QStringLiteral("演讲项目备份"), false, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        quorvia::platform::native::QtPackageFileDialog dialog(nullptr, QStringLiteral("导出全部演讲项目"),
                                                              {QStringLiteral("quorviabackup")});
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("quorviabackup"));
        dialog.setDirectory(root.path());
        QStringList asked;
        dialog.onConfirmReplace = [&](const QString& path) {
            asked << path;
            return c.replace;
        };
        dialog.show();
        dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(c.typed);
        static_cast<QDialog*>(&dialog)->accept();
        EXPECT_EQ(asked, QStringList{c.chosen.isEmpty() ? home + QStringLiteral("/演讲项目备份.quorviabackup") : c.chosen});
        EXPECT_EQ(dialog.chosenPackage(), c.chosen);
        EXPECT_EQ(dialog.isVisible(), !c.replace);
        EXPECT_EQ(QDir(dialog.directory()).absolutePath(), home);
    }
}

namespace {

// The detail view's texts for an item of the chooser, once its folder is read.
QModelIndex itemNamed(QFileDialog& dialog, const QString& name)
{
    auto* details = dialog.findChild<QAbstractItemView*>(QStringLiteral("treeView"));
    if (!details)
        return {};
    QModelIndex found;
    quorvia::test::waitUntil([&] {
        const QModelIndex root = details->rootIndex();
        for (int row = 0; row < details->model()->rowCount(root) && !found.isValid(); ++row)
            if (details->model()->index(row, 0, root).data().toString() == name)
                found = details->model()->index(row, 0, root);
        return found.isValid();
    });
    return found;
}

} // namespace

TEST(QtPackageFileDialogTest, ABackupShowsAsAnItemOfItsOwnKindAndAFolderIsCalledSoInChinese)
{
    QTranslator* qtCatalogue = quorvia::platform::native::QtTranslations::installChinese(*qApp);
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("演讲项目备份.quorviabackup"));
    QDir(root.path()).mkpath(QStringLiteral("素材"));
    quorvia::platform::native::QtPackageFileDialog dialog(nullptr, QStringLiteral("导入演讲项目备份"),
                                                          {QStringLiteral("quorviabackup")});
    dialog.setDirectory(root.path());
    dialog.resize(QtPackageFileDialog::readableSize());
    dialog.show();

    const QModelIndex backup = itemNamed(dialog, QStringLiteral("演讲项目备份.quorviabackup"));
    const QModelIndex folder = itemNamed(dialog, QStringLiteral("素材"));
    ASSERT_TRUE(backup.isValid());
    ASSERT_TRUE(folder.isValid());
    const auto typeOf = [](const QModelIndex& item) { return item.siblingAtColumn(2).data().toString(); };
    EXPECT_EQ(typeOf(backup), quorvia::platform::backupPackageTypeName());
    EXPECT_EQ(typeOf(folder), QStringLiteral("文件夹"));
    const QImage shown = backup.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 32).toImage();
    const QImage own = quorvia::platform::backupPackageIcon().pixmap(32, 32).toImage();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32), own.convertToFormat(QImage::Format_ARGB32));
    EXPECT_NE(folder.data(Qt::DecorationRole).value<QIcon>().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
              own.convertToFormat(QImage::Format_ARGB32));

    // Every column reads whole: none is cut to an ellipsis.
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(details, nullptr);
    const QFontMetrics metrics(details->font());
    EXPECT_GE(details->header()->sectionSize(2), metrics.horizontalAdvance(typeOf(backup)) + 12);
    EXPECT_GE(details->header()->sectionSize(1), metrics.horizontalAdvance(QStringLiteral("888.8 KiB")) + 12);
    quorvia::test::keepSnapshot(dialog.grab(), QStringLiteral("file-dialog-backup"));
    dialog.reject();
    for (auto* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    (void)qtCatalogue;
}

TEST_F(ChooserFolders, ChoosersOpenLargeEnoughToReadAndKeepTheSizeTheyWereLeftAt)
{
    FileDialogRequest request;
    request.allowedExtensions = {QStringLiteral("quorviabackup")};
    service_.beginOpenPanel(request, [](std::optional<QString>) {});
    QFileDialog* dialog = awaitChooser();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->size(), QtPackageFileDialog::readableSize());
    dialog->resize(1100, 640);
    dialog->reject();
    env_.scheduler().runPending();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    service_.beginSavePanel(request, [](std::optional<QString>) {});
    dialog = awaitChooser();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->size(), QSize(1100, 640));
    dialog->reject();
    env_.scheduler().runPending();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
