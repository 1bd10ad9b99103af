#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/files/FileDescriptor.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/ReadOnlyFolder.h"
#include "support/RunningApplication.h"
#include "support/Snapshot.h"
#include "support/XServer.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using quorvia::test::ReadOnlyFolder;
using quorvia::test::RunningApplication;
using quorvia::test::runEventsFor;
using quorvia::test::waitUntil;
using quorvia::test::XServer;
using Window = RunningApplication::Window;
namespace controls = quorvia::test::controls;

namespace {

// The real executable on an X server of the test's own.
class ApplicationProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (server.name().isEmpty())
            FAIL() << "the test X server could not start";
        app = std::make_unique<RunningApplication>(server.name());
    }

    // A second launch in the same folders hands its reopen over and exits 0.
    void expectASecondLaunchGivesWay(const char* otherwise = "two instances run")
    {
        ASSERT_TRUE(app->launchAnother(second));
        ASSERT_TRUE(second.waitForFinished(60000)) << otherwise;
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
    }

    XServer server;
    std::unique_ptr<RunningApplication> app;
    QProcess second;
};

TEST_F(ApplicationProcessTest, ASecondLaunchHandsOverAndExitsWhileTheFirstStays)
{
    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(app->waitUntilListening());
    // The first still answers the next launch once it has handled the one before.
    for (int launch = 0; launch < 2; ++launch)
        expectASecondLaunchGivesWay();
    EXPECT_TRUE(app->isRunning());
}

TEST_F(ApplicationProcessTest, TerminationSignalQuitsCleanly)
{
    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(app->waitUntilCatching(SIGTERM));
    // How soon the delegate's fallback answers is tested on virtual time.
    EXPECT_TRUE(app->quit());
}

// Another local user can make names in the shared temporary folder, never in
// the folders the instance socket now lives in.
TEST_F(ApplicationProcessTest, AServerSquattingTheOldSocketNameIsNotBelieved)
{
    QTemporaryDir runtime;
    app->environment().insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QLocalServer squatter;
    squatter.setSocketOptions(QLocalServer::WorldAccessOption);
    ASSERT_TRUE(squatter.listen(app->environment().value(QStringLiteral("TMPDIR")) + QStringLiteral("/quorvia-%1").arg(::getuid())));
    int approached = 0;
    QObject::connect(&squatter, &QLocalServer::newConnection, [&] {
        while (squatter.nextPendingConnection())
            ++approached;
    });

    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(waitUntil([&] { return !app->windows().empty() || !app->isRunning(); }));
    EXPECT_TRUE(app->isRunning()) << "the application believed the squatter and left";
    // It listens once its start is done, which may be just after its windows show.
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(runtime.filePath(QStringLiteral("quorvia-instance"))); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(approached, 0);
}

TEST_F(ApplicationProcessTest, AFileAtTheOldNameStillLeavesOneInstanceWithoutARuntimeFolder)
{
    app->environment().remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QFile squatted(app->environment().value(QStringLiteral("TMPDIR")) + QStringLiteral("/quorvia-%1").arg(::getuid()));
    ASSERT_TRUE(squatted.open(QIODevice::WriteOnly));
    squatted.close();

    ASSERT_TRUE(app->start());
    expectASecondLaunchGivesWay("two instances run over one store");
    EXPECT_TRUE(app->isRunning());
    // The config folder took the socket, in a folder of its own closed to others.
    const QString folder = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/instance");
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/socket")));
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther), 0);
}

TEST_F(ApplicationProcessTest, TheSocketCutsOffEndlessMessagesAndCrowds)
{
    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(app->waitUntilListening());
    const QString name = app->environment().value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/quorvia-instance");

    // A line that never ends is dropped once it passes a few KiB. What the
    // kernel took from the peer until then is that and the socket's buffers;
    // a server that read on would take megabytes before its time-out. A slow
    // server can only take less.
    QLocalSocket flood;
    flood.connectToServer(name);
    ASSERT_TRUE(flood.waitForConnected(60000));
    const QByteArray chunk(64 * 1024, 'x');
    qint64 accepted = 0;
    bool dropped = false;
    EXPECT_TRUE(waitUntil([&] {
        for (;;) {
            const ssize_t n = ::send(int(flood.socketDescriptor()), chunk.constData(), size_t(chunk.size()),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0 && (accepted += n) < 64 * 1024 * 1024)
                continue;
            dropped = n < 0 && errno != EAGAIN && errno != EINTR;
            return n >= 0 || dropped;
        }
    }));
    EXPECT_TRUE(dropped);
    EXPECT_LT(accepted, 4 * 1024 * 1024);

    // Silent peers are dropped after a second, and beyond a few at once at the door.
    std::vector<std::unique_ptr<QLocalSocket>> crowd;
    for (int i = 0; i < 40; ++i) {
        crowd.push_back(std::make_unique<QLocalSocket>());
        crowd.back()->connectToServer(name);
        crowd.back()->waitForConnected(1000);
    }
    EXPECT_TRUE(waitUntil([&] {
        for (auto& socket : crowd) {
            socket->waitForReadyRead(10);
            if (socket->state() == QLocalSocket::ConnectedState)
                return false;
        }
        return true;
    }));

    // An honest second launch still hands over.
    expectASecondLaunchGivesWay();
    EXPECT_TRUE(app->isRunning());
}

} // namespace

TEST_F(ApplicationProcessTest, ShowsTheIslandAndQuitsOnControlQ)
{
    ASSERT_TRUE(app->start());
    runEventsFor(500);
    // The whole screen, for a person to look at.
    quorvia::test::keepSnapshot(QPixmap::fromImage(app->grab(QRect(0, 0, 1920, 1080))), QStringLiteral("xvfb-island"));
    for (const Window& window : app->windows())
        app->focus(window);
    app->key(QStringLiteral("ctrl+q"), 0);
    ASSERT_TRUE(app->process().waitForFinished(60000));
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process().exitCode(), 0);
}

TEST_F(ApplicationProcessTest, TheEmergencyKeyHidesEveryWindowAndBringsTheIslandBack)
{
    ASSERT_TRUE(app->start());
    runEventsFor(300);
    const std::size_t shown = app->windows().size();

    app->key(QStringLiteral("ctrl+alt+super+shift+h"), 500);
    EXPECT_EQ(app->windows().size(), shown);

    app->pressEmergencyKey();
    EXPECT_TRUE(waitUntil([&] { return app->windows().empty(); }));

    app->pressEmergencyKey();
    EXPECT_TRUE(waitUntil([&] { return app->windows().size() == shown; }));
}

TEST_F(ApplicationProcessTest, TheEarlierSettingsFileIsInTheNewStoreWhenTheQuitReturns)
{
    using namespace quorvia;
    const QString config = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp");
    const QString script = QString::fromUtf8("1\n大家好\n---\nDemo\n演示");
    {
        QSettings legacy(config + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
        legacy.setValue(PromptScript::legacyScriptKey, script);
    }
    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(app->waitUntilCatching(SIGTERM));
    ASSERT_TRUE(app->quit());

    const platform::native::SettingsDefaults stored(config + QStringLiteral("/defaults"), QString());
    EXPECT_EQ(stored.string(PromptScript::legacyScriptKey), script);
    const auto state = StoredState::fromJson(stored.data(PromptScript::projectsKey).value_or(QByteArray()));
    ASSERT_TRUE(state.has_value());
    ASSERT_EQ(state->projects.size(), 1u);
    EXPECT_EQ(state->projects[0].name, QStringLiteral("默认演讲"));
    EXPECT_EQ(state->projects[0].timelineBlocks.value_or(std::vector<PromptTimelineBlock>{}).size(), 2u);
}

TEST_F(ApplicationProcessTest, TheSavedReadingPositionOutlastsAStartAndAQuit)
{
    using namespace quorvia;
    const QString config = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp");
    QString text;
    for (int line = 1; line <= 80; ++line)
        text += QStringLiteral("第 %1 行：大家好，欢迎来到今天的发布会，我们从市场讲起。\n").arg(line);
    StoredProject project;
    project.id = QUuid::createUuid();
    project.name = QStringLiteral("长稿");
    project.timelineBlocks = std::vector<PromptTimelineBlock>{{QUuid::createUuid(), QStringLiteral("1"), text}};
    project.rawText = QStringLiteral("1\n") + text;
    project.readingCharacterIndex = 1500;
    {
        StoredState state;
        state.projects = {project};
        state.activeProjectID = project.id;
        platform::native::SettingsDefaults store(config + QStringLiteral("/defaults"), QString());
        store.setData(PromptScript::projectsKey, state.toJson());
        store.flush();
    }
    const auto storedPosition = [&] {
        const platform::native::SettingsDefaults stored(config + QStringLiteral("/defaults"), QString());
        const auto state = StoredState::fromJson(stored.data(PromptScript::projectsKey).value_or(QByteArray()));
        return state && state->projects.size() == 1 ? state->projects[0].readingCharacterIndex.value_or(-1) : -1;
    };

    // Twice: a quit that saved a wrong place would show at the second.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(app->start());
        runEventsFor(500);
        ASSERT_TRUE(app->quit());
        // Within a line of the place: the view reads from the start of the line it stands on.
        EXPECT_NEAR(storedPosition(), 1500, 40) << "after start " << round + 1;
    }
}

TEST_F(ApplicationProcessTest, AChooserHiddenByTheEmergencyKeyReturnsWithTheWindowsAndCanBeCancelled)
{
    ASSERT_TRUE(app->launch());
    const auto island = app->settledIsland();
    ASSERT_TRUE(island);
    ASSERT_TRUE(app->pressIslandSetting(*island, controls::settings::importBackup));
    const QString title = QStringLiteral("导入演讲项目备份");
    ASSERT_TRUE(waitUntil([&] { return !app->windows(title).empty(); }));

    app->pressEmergencyKey();
    EXPECT_TRUE(waitUntil([&] { return app->windows().empty(); }));
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return !app->windows(title).empty(); }));

    app->focus(app->windows(title).front());
    app->key(QStringLiteral("Escape"), 0);
    EXPECT_TRUE(waitUntil([&] { return app->windows(title).empty(); }));
    EXPECT_GE(app->windows().size(), 1u);
}

TEST_F(ApplicationProcessTest, AnOutcomeAlertCutShortByTheEmergencyKeyWaitsAndShowsWhenTheWindowsReturn)
{
    ASSERT_TRUE(app->launch());
    const auto island = app->settledIsland();
    ASSERT_TRUE(island);
    ASSERT_TRUE(app->failKeynoteImport(*island)) << "the failed import raised no alert";

    app->pressEmergencyKey();
    EXPECT_TRUE(waitUntil([&] { return app->windows().empty(); }));
    runEventsFor(1000);
    EXPECT_TRUE(app->windows().empty());

    // The island and the alert come back; the alert is read, then goes.
    app->pressEmergencyKey();
    std::optional<Window> alert;
    ASSERT_TRUE(waitUntil([&] {
        const auto shown = app->windows();
        for (const Window& w : shown)
            if (w != *island)
                alert = w;
        return alert && std::find(shown.begin(), shown.end(), *island) != shown.end();
    }));
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return app->windows() == std::vector<Window>{*island}; }));
}

namespace {

// A project of ten short blocks; answers the stored current block, -1 when none can be read.
std::function<qint64()> storeTenBlocks(const QString& config)
{
    using namespace quorvia;
    StoredProject project;
    project.id = QUuid::createUuid();
    project.name = QStringLiteral("十块");
    std::vector<PromptTimelineBlock> blocks;
    for (int i = 1; i <= 10; ++i)
        blocks.emplace_back(QUuid::createUuid(), QString::number(i), QStringLiteral("第 %1 块：%2").arg(i).arg(QString(i * 3, QChar(u'讲'))));
    project.rawText = ScriptText::serialize(blocks);
    project.timelineBlocks = std::move(blocks);
    {
        StoredState state;
        state.projects = {project};
        state.activeProjectID = project.id;
        platform::native::SettingsDefaults store(config + QStringLiteral("/defaults"), QString());
        store.setData(PromptScript::projectsKey, state.toJson());
    }
    return [config] {
        const platform::native::SettingsDefaults stored(config + QStringLiteral("/defaults"), QString());
        const auto state = StoredState::fromJson(stored.data(PromptScript::projectsKey).value_or(QByteArray()));
        return state && state->projects.size() == 1 ? state->projects[0].currentIndex : qint64(-1);
    };
}

} // namespace

// Steps taken just before the quit are written, though the store holds a
// change back for up to a second to gather others with it: by Control+Q, in
// order after the steps, and by SIGTERM right after the last step shows.
TEST_F(ApplicationProcessTest, TheLastStepsBeforeAQuitOrATerminationSignalAreStored)
{
    const QString config = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp");
    const auto storedIndex = storeTenBlocks(config);
    ASSERT_EQ(storedIndex(), 0);

    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "Control+Q");
        const qint64 before = storedIndex();
        ASSERT_TRUE(app->launch());
        const auto island = app->settledIsland();
        ASSERT_TRUE(island);
        app->focus(*island);
        if (!bySignal) {
            app->key(QStringLiteral("Right Right Right ctrl+q"), 0);
        } else {
            // Each step is on screen before the next, so the signal follows all three.
            for (int step = 0; step < 3; ++step) {
                const QImage was = app->windowImage(*island);
                app->key(QStringLiteral("Right"), 0);
                ASSERT_TRUE(waitUntil([&] { return app->windowImage(*island) != was; })) << "step " << step << " never showed";
            }
            ::kill(static_cast<pid_t>(app->pid()), SIGTERM);
        }
        ASSERT_TRUE(app->process().waitForFinished(60000));
        EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(storedIndex(), before + 3);
    }
}

// A settings folder that cannot be written: the speaker hears it while the
// application runs and again, before it ends, when the last write of the quit
// they asked for fails; what was stored before stays as it was.
TEST_F(ApplicationProcessTest, AStoreThatCannotBeWrittenIsSaidWhileRunningAndAtTheEnd)
{
    const QString config = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp");
    const auto storedIndex = storeTenBlocks(config);
    const ReadOnlyFolder store(config + QStringLiteral("/defaults"));
    if (!store.isReadOnly())
        GTEST_SKIP() << "needs root to mount the folder read-only: root writes past its mode";

    ASSERT_TRUE(app->start());
    // The island, the larger should the alert already stand beside it.
    const auto shown = app->waitWindow(QString());
    ASSERT_TRUE(shown);
    const Window island = *shown;
    // The start's own save fails.
    const auto running = app->waitNewWindow({island});
    ASSERT_TRUE(running) << "the failed save was not said";
    // A key typed before the alert has the keyboard is lost: answer again while it stands.
    int polls = 0;
    ASSERT_TRUE(waitUntil([&] {
        if (app->windows() == std::vector<Window>{island})
            return true;
        if (polls++ % 50 == 0 && app->shows(*running)) {
            app->focus(*running, 2000);
            app->key(QStringLiteral("Return"), 0);
        }
        return false;
    }));

    ASSERT_TRUE(app->focus(island));
    app->key(QStringLiteral("Right"));
    // Typed again until the quit says its failed write: a key typed before
    // the application has seen the focus is lost.
    std::optional<Window> atTheEnd;
    for (int typed = 0; typed < 10 && !atTheEnd; ++typed) {
        app->key(QStringLiteral("ctrl+q"), 0);
        waitUntil([&] {
            for (const Window& w : app->windows())
                if (!(w == island))
                    atTheEnd = w;
            return atTheEnd.has_value();
        }, 3000);
    }
    ASSERT_TRUE(atTheEnd) << "the failed last write was not said";
    EXPECT_TRUE(app->isRunning());
    // Answered again while it stands; once it has gone, the application must
    // end on its own. The island's leaving can replace the alert's window by
    // another, so whatever stands besides the island is answered.
    bool ended = false;
    for (int round = 0; round < 30 && !ended; ++round) {
        for (const Window& standing : app->windows()) {
            if (standing == island)
                continue;
            app->focus(standing, 2000);
            app->key(QStringLiteral("Return"), 0);
        }
        ended = app->process().waitForFinished(2000);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(storedIndex(), 0);
}

// A logout or a shutdown waits for no click, not even with the start's alert
// still standing: the signal's quit ends by the delegate's fallback (3.0 s)
// and says on the error stream what was not kept.
TEST_F(ApplicationProcessTest, ATerminationSignalEndsWithoutAClickWhenNothingCanBeSaved)
{
    const ReadOnlyFolder store(app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults"));
    if (!store.isReadOnly())
        GTEST_SKIP() << "needs root to mount the folder read-only: root writes past its mode";
    app->collectErrors();
    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(waitUntil([&] { return app->windows().size() >= 2 || !app->isRunning(); })) << "the failed save was not said";
    ASSERT_TRUE(app->waitUntilCatching(SIGTERM));
    ::kill(static_cast<pid_t>(app->pid()), SIGTERM);
    // Well past the fallback, for a loaded machine; unanswered, it would wait forever.
    ASSERT_TRUE(app->process().waitForFinished(15000)) << "the quit waits for someone to answer";
    EXPECT_EQ(app->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process().exitCode(), 0);
    EXPECT_EQ(app->errorsSaid().count(QStringLiteral("退出前无法写入文件夹")), 1) << "said not once";
}

// Settings and data folders nothing can write (a read-only disk, or left to
// root by a sudo run) leave no room for a second writer either: the launch
// runs, the failed save says why nothing is kept, and a second launch still
// hands its reopen over.
TEST_F(ApplicationProcessTest, FoldersNothingCanWriteStillLetOneLaunchRunAndSaySo)
{
    const ReadOnlyFolder settings(app->folder() + QStringLiteral("/config/com.local.quorvia.mvp"));
    const ReadOnlyFolder data(app->folder() + QStringLiteral("/data/com.local.quorvia.mvp"));
    if (!settings.isReadOnly() || !data.isReadOnly())
        GTEST_SKIP() << "needs root to mount the folders read-only: root writes past their mode";
    ASSERT_TRUE(app->launch());
    // The island and the alert of the start's own save, and nothing more;
    // the server may list a window a moment late, so the count is waited for.
    EXPECT_TRUE(waitUntil([&] { return app->windows().size() == 2 || !app->isRunning(); }));
    ASSERT_TRUE(app->isRunning()) << "the launch ended";
    ASSERT_TRUE(app->waitUntilListening());
    expectASecondLaunchGivesWay();
}

// Two launches with settings of their own over one data folder: the second
// gives way to the first, and the copy the first is making stays where it is.
TEST_F(ApplicationProcessTest, ALaunchSharingOnlyTheDataFolderGivesWayAndLeavesItsCopiesAlone)
{
    // Its window is up: its own start's sweep is over.
    ASSERT_TRUE(app->start());
    const QString copy = app->folder() + QStringLiteral("/data/com.local.quorvia.mvp/ProjectDocuments/.incoming/A/deck.key");
    ASSERT_TRUE(QDir().mkpath(copy));
    app->environment().insert(QStringLiteral("XDG_CONFIG_HOME"), app->folder() + QStringLiteral("/config-other"));
    expectASecondLaunchGivesWay("two instances run over one data folder");
    EXPECT_TRUE(QFileInfo::exists(copy)) << "the second launch swept the first one's copy away";
    EXPECT_TRUE(app->isRunning());
}

// Another Quorvia holds the lock and never answers: the launch that may not
// run says so in a window of its own, and ends once that is read.
TEST_F(ApplicationProcessTest, ARefusedLaunchSaysWhyInAWindow)
{
    const QString lock = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/instance.lock");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(lock).path()));
    const quorvia::platform::FileDescriptor held(::open(QFile::encodeName(lock).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(app->launch());
    const auto panel = app->waitWindow(QString());
    ASSERT_TRUE(panel) << "the refusal was said on the error stream only";
    EXPECT_TRUE(app->isRunning());
    ASSERT_TRUE(app->focus(*panel));
    ASSERT_TRUE(waitUntil([&] {
        app->key(QStringLiteral("Return"), 300);
        return !app->isRunning();
    }));
    EXPECT_EQ(app->process().exitCode(), 1);
}
