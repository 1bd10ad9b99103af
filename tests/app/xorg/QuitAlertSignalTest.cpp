#include "model/BackupFixtures.h"
#include "model/PromptScript.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/ReadOnlyFolder.h"
#include "support/RunningApplication.h"
#include "support/StatusArea.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

using quorvia::test::ReadOnlyFolder;
using quorvia::test::RunningApplication;
using quorvia::test::waitUntil;
using quorvia::test::WindowManagedTwoOutputTest;
using Window = RunningApplication::Window;

namespace {

class QuitAlertSignalTest : public WindowManagedTwoOutputTest {
protected:
    void TearDown() override
    {
        app.reset();
        WindowManagedTwoOutputTest::TearDown();
    }

    // Answers whatever stands beside the island until the island stands alone
    // or the application ends, or until `done` holds when given.
    bool answerAllBut(const Window& island, const std::function<bool()>& done = {})
    {
        int polls = 0;
        return waitUntil([&] {
            const auto shown = app->windows();
            if (done ? done() : shown == std::vector<Window>{island} || !app->isRunning())
                return true;
            // A key typed before the alert has the keyboard is lost: asked again while it stands.
            // One answered a moment ago may go before it takes the focus: not waited for.
            if (polls++ % 50 == 0)
                for (const Window& standing : shown)
                    if (!(standing == island) && app->focus(standing, 2000))
                        app->key(QStringLiteral("Return"), 0);
            return false;
        });
    }

    bool beginExport(const Window& island, const QString& path) { return choose(island, path, true); }
    bool beginImport(const Window& island, const QString& path) { return choose(island, path, false); }
    bool choose(const Window& island, const QString& path, bool exporting);

    std::unique_ptr<RunningApplication> app;
};

// A logout while the speaker's quit says its last write failed: the alert
// waits for a click that never comes, yet the signal ends the process, and
// what was lost is said on the error stream once.
TEST_P(QuitAlertSignalTest, ATerminationSignalEndsTheQuitWhileItsAlertStands)
{
    app = std::make_unique<RunningApplication>(display);
    const ReadOnlyFolder store(app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults"));
    if (!store.isReadOnly())
        GTEST_SKIP() << "needs root to mount the folder read-only: root writes past its mode";
    app->collectErrors();
    ASSERT_TRUE(app->launch());
    const auto island = app->waitWindow(QString());
    ASSERT_TRUE(island);
    // The start's own save fails and says so first.
    ASSERT_TRUE(app->waitNewWindow({*island})) << "the failed save was not said";
    ASSERT_TRUE(answerAllBut(*island));

    ASSERT_TRUE(app->focus(*island));
    app->key(QStringLiteral("Right ctrl+q"), 0);
    ASSERT_TRUE(app->waitNewWindow({*island})) << "the failed last write was not said";
    ASSERT_TRUE(app->waitUntilCatching(SIGTERM));
    ::kill(static_cast<pid_t>(app->pid()), SIGTERM);
    // Well past the fallback (3.0 s), for a loaded machine; dropped, the signal leaves it waiting forever.
    ASSERT_TRUE(waitUntil([&] { return !app->isRunning(); }, 20000)) << "the quit waits for a click";
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process().exitCode(), 0);
    EXPECT_EQ(app->errorsSaid().count(QStringLiteral("退出前无法写入文件夹")), 1) << "said not once";
}

// A launch while the quit's last alert stands waits, and runs once the
// speaker has answered and the quitting instance has ended.
TEST_P(QuitAlertSignalTest, ALaunchBesideAQuittingInstanceRunsOnceItHasEnded)
{
    app = std::make_unique<RunningApplication>(display);
    app->collectErrors();
    const auto island = app->launch() ? app->settledIsland() : std::nullopt;
    const ReadOnlyFolder store(app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults"));
    if (!store.isReadOnly())
        GTEST_SKIP() << "needs root to mount the folder read-only: root writes past its mode";
    ASSERT_TRUE(island && app->focus(*island));
    app->key(QStringLiteral("Right ctrl+q"), 0);
    RunningApplication later(display);
    later.environment() = app->environment();
    later.launcher() = app->launcher();
    ASSERT_TRUE(app->waitNewWindow({*island}) && later.launch()) << "the failed last write was not said";
    ASSERT_TRUE(waitUntil([&] { return app->errorsSaid().contains(QStringLiteral("正在退出")) || !later.isRunning(); }));
    ASSERT_TRUE(later.isRunning() && answerAllBut(*island) && !app->isRunning()) << "the launch did not wait, or the quit did not end";
    EXPECT_TRUE(later.waitWindow(QString())) << "the launch never ran";
}

// With the icon in a status area, every way out ends with status 0: its
// menu's 退出, Control+Q, and SIGINT and SIGTERM as a logout sends them.
TEST_P(QuitAlertSignalTest, EveryWayOutEndsCleanlyWithTheIconInAStatusArea)
{
    quorvia::test::StatusArea area(display);
    ASSERT_TRUE(area.start()) << area.failure().toStdString();
    for (const int way : {0, 1, SIGINT, SIGTERM}) {
        SCOPED_TRACE(way); // the menu, Control+Q, then the signals
        app = std::make_unique<RunningApplication>(display);
        std::optional<Window> island, icon;
        ASSERT_TRUE(app->launch() && (island = app->settledIsland()) && (way < 2 || app->waitUntilCatching(way)));
        ASSERT_TRUE(waitUntil([&] { return (icon = app->statusIcon()) && icon->frame.width() > 1; }));
        const QPoint at = icon->frame.center();
        if (way > 1)
            ::kill(static_cast<pid_t>(app->pid()), way);
        else if (way == 1 ? app->focus(*island) : app->tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()),
                            QString::number(at.y()), QStringLiteral("click"), QStringLiteral("3")}) && app->waitNewWindow({*island}))
            app->key(way == 0 ? QStringLiteral("Up Return") : QStringLiteral("ctrl+q"), 0);
        EXPECT_TRUE(RunningApplication::waitUntilEnded(app->process()) && app->process().exitStatus() == QProcess::NormalExit
                    && app->process().exitCode() == 0);
    }
}

// A private drive whose file opens wait, once stalled, until the test lets them go on.
class StalledDrive {
public:
    StalledDrive() : path_(QFile::encodeName(folder_.path()))
    {
        mounted_ = ::geteuid() == 0 && ::mount("quorvia-test", path_.constData(), "tmpfs", 0, "size=16m") == 0;
    }
    ~StalledDrive()
    {
        goOn();
        if (mounted_)
            ::umount2(path_.constData(), MNT_DETACH);
    }
    bool isMounted() const { return mounted_; }
    QString filePath(const QString& name) const { return folder_.filePath(name); }
    bool stall()
    {
        watch_ = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
        return watch_ >= 0 && ::fanotify_mark(watch_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, FAN_OPEN_PERM, AT_FDCWD, path_.constData()) == 0;
    }
    // Whether a file open waits on the drive.
    bool isHeld()
    {
        pollfd opened{watch_, POLLIN, 0};
        fanotify_event_metadata held{};
        if (held_ < 0 && ::poll(&opened, 1, 0) == 1 && ::read(watch_, &held, sizeof held) == sizeof held)
            held_ = held.fd;
        return held_ >= 0;
    }
    // Letting the drive's watch go lets every open it holds go on.
    void goOn()
    {
        if (held_ >= 0)
            ::close(std::exchange(held_, -1));
        if (watch_ >= 0)
            ::close(std::exchange(watch_, -1));
    }

private:
    const QTemporaryDir folder_;
    const QByteArray path_;
    bool mounted_ = false;
    int watch_ = -1;
    int held_ = -1; // the open that waits
};

// A file's bytes under each relative path of a folder.
std::map<QString, QByteArray> contentsOf(const QString& folder)
{
    std::map<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        files[it.filePath().mid(folder.size())] = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    }
    return files;
}

// Until the loop has ended and main() waits for the work still running, wherever it does.
bool waitsForWorkAfterItsLoop(const RunningApplication& app)
{
    const auto read = [](const QByteArray& file) { QFile f("/proc/" + file); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); };
    const QByteArray main = QByteArray::number(app.pid()) + "/task/" + QByteArray::number(app.pid()) + "/syscall";
    int waited = 0;
    return waitUntil([&] { return (waited = read(main).startsWith(QByteArray::number(SYS_futex) + ' ') && app.windows().empty() ? waited + 1 : 0) > 3; });
}

// Through the island's settings and the chooser, every project to `path`, or the backup at `path` in.
bool QuitAlertSignalTest::choose(const Window& island, const QString& path, bool exporting)
{
    using namespace quorvia::test::controls::settings;
    const auto chooser = app->pressIslandSetting(island, exporting ? exportBackup : importBackup)
        ? app->waitWindow(exporting ? QStringLiteral("导出全部演讲项目") : QStringLiteral("导入演讲项目备份")) : std::nullopt;
    if (!chooser || !app->focus(*chooser))
        return false;
    app->key(QStringLiteral("ctrl+a"));
    app->type(path);
    app->key(QStringLiteral("Return"), 0);
    return true;
}

// A quit while an export writes to a drive that has stalled, and goes on
// within the quit's fallback: the export ends, and then the process, with status 0.
TEST_P(QuitAlertSignalTest, AQuitWhileAnExportWritesEndsOnceTheExportHas)
{
    StalledDrive drive;
    if (!drive.isMounted())
        GTEST_SKIP() << "needs root to mount a drive";
    ASSERT_TRUE(drive.stall());
    app = std::make_unique<RunningApplication>(display);
    const auto island = app->launch() ? app->settledIsland() : std::nullopt;
    const QString backup = drive.filePath(QStringLiteral("backup.quorviabackup"));
    ASSERT_TRUE(island && beginExport(*island, backup));
    ASSERT_TRUE(waitUntil([&] { return drive.isHeld(); })) << "the export never began";
    ::kill(static_cast<pid_t>(app->pid()), SIGTERM);
    ASSERT_TRUE(waitsForWorkAfterItsLoop(*app));
    drive.goOn();
    EXPECT_TRUE(RunningApplication::waitUntilEnded(app->process()) && app->process().exitStatus() == QProcess::NormalExit
                && app->process().exitCode() == 0);
    EXPECT_TRUE(QFile::exists(backup)) << "the export was cut short";
}

// A quit while an import waits on its drive, which goes on once the loop has ended:
// the deck comes in, its project is never stored, and the next start takes the deck away; imported again and stored, it stays.
TEST_P(QuitAlertSignalTest, AnImportWhoseProjectAQuitLeftUnstoredLeavesNoDeckAfterTheNextStart)
{
    StalledDrive drive;
    if (!drive.isMounted())
        GTEST_SKIP() << "needs root to mount a drive";
    app = std::make_unique<RunningApplication>(display);
    const QString deck = app->folder() + "/talk.key", package = drive.filePath(QStringLiteral("backup.quorviabackup"));
    quorvia::test::writeFile(deck, "deck");
    ASSERT_TRUE(quorvia::ProjectBackupPackage::exportBackup(quorvia::test::backupOf({quorvia::test::backupProject("甲", deck)}), package));
    const auto island = app->launch() ? app->settledIsland() : std::nullopt;
    ASSERT_TRUE(island && drive.stall() && beginImport(*island, package) && waitUntil([&] { return drive.isHeld(); })) << "the import never began";
    ::kill(static_cast<pid_t>(app->pid()), SIGTERM);
    ASSERT_TRUE(waitsForWorkAfterItsLoop(*app));
    drive.goOn();
    const auto decks = [&] { return QDir(app->folder() + "/data/com.local.quorvia.mvp/ProjectDocuments").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
    ASSERT_TRUE(RunningApplication::waitUntilEnded(app->process()) && decks() == 1) << "the import's deck never came in";
    RunningApplication next(display);
    next.environment() = app->environment();
    EXPECT_TRUE(next.launch() && waitUntil([&] { return decks() == 0; })) << "the deck stayed";
    // Before it catches the signal, a quit would end it outright.
    const auto again = next.waitUntilCatching(SIGTERM) && next.quit() && app->launch() ? app->settledIsland() : std::nullopt;
    const QString settings = app->folder() + "/config/com.local.quorvia.mvp/defaults";
    const auto stored = [&] { const quorvia::platform::native::SettingsDefaults read(settings, {});
                              return quorvia::PromptScript::storedDocumentPaths(read, settings, read.identity()).value_or(QStringList()).size() == 1; };
    ASSERT_TRUE(again && beginImport(*again, package) && waitUntil(stored) && app->quit() && app->start()) << "the imported project was never stored";
    EXPECT_EQ(decks(), 1) << "the stored project's deck went";
}

// A quit, by SIGTERM and by Control+Q, while an export to replace a backup
// waits on a drive that answers only after the process has ended: the
// process still ends within the quit's fallback, with status 0, and the
// next export leaves the old backup as it was under its name.
TEST_P(QuitAlertSignalTest, AQuitWhileAnExportWaitsOnADriveThatNeverAnswersEndsInTime)
{
    StalledDrive drive;
    if (!drive.isMounted())
        GTEST_SKIP() << "needs root to mount a drive";
    const QString backup = drive.filePath(QStringLiteral("backup.quorviabackup"));
    std::map<QString, QByteArray> old;
    for (const bool bySignal : {true, false}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "Control+Q");
        app = std::make_unique<RunningApplication>(display);
        const auto island = app->launch() ? app->settledIsland() : std::nullopt;
        ASSERT_TRUE(island && app->waitUntilCatching(SIGTERM));
        if (old.empty()) {
            const auto said = [&] { return std::ranges::any_of(app->windows(QStringLiteral("^Quorvia$")), [&](const Window& w) { return !(w == *island); }); };
            ASSERT_TRUE(beginExport(*island, backup) && waitUntil(said) && answerAllBut(*island) && QFile::exists(backup + "/manifest.json"))
                << "the first backup was not written";
            old = contentsOf(backup);
        }
        // The chooser asks whether to replace the backup, and is answered yes.
        ASSERT_TRUE(drive.stall() && beginExport(*island, backup) && answerAllBut(*island, [&] { return drive.isHeld(); }))
            << "the export never began";
        QElapsedTimer quitting;
        quitting.start();
        if (bySignal)
            ::kill(static_cast<pid_t>(app->pid()), SIGTERM);
        else if (app->focus(*island))
            app->key(QStringLiteral("ctrl+q"), 0);
        ASSERT_TRUE(RunningApplication::waitUntilEnded(app->process(), 10000)) << "the quit waits for the drive";
        EXPECT_LT(quitting.elapsed(), 3500) << "the quit waited for the drive";
        EXPECT_TRUE(app->process().exitStatus() == QProcess::NormalExit && app->process().exitCode() == 0);
        drive.goOn();
    }
    app = std::make_unique<RunningApplication>(display);
    const auto island = app->launch() ? app->settledIsland() : std::nullopt;
    ASSERT_TRUE(island && beginExport(*island, drive.filePath(QStringLiteral("other.quorviabackup")))
                && waitUntil([&] { return QFile::exists(drive.filePath(QStringLiteral("other.quorviabackup/manifest.json"))); }));
    EXPECT_TRUE(contentsOf(backup) == old) << "the old backup changed";
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(QuitAlertSignalTest);

} // namespace
