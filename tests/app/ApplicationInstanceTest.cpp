#include "platform/files/FileDescriptor.h"
#include "platform/linux/application/SingleInstanceGuard.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/ReadOnlyFolder.h"
#include "support/RunningApplication.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using quorvia::platform::native::SingleInstanceGuard;
using quorvia::test::ReadOnlyFolder;
using quorvia::test::RunningApplication;
using quorvia::test::runEventsFor;
using quorvia::test::waitUntil;

namespace {

// The real executable on the offscreen platform: only the instance it decides
// to be matters here.

// Two launches let go at once, fifty times, the one left from the round
// before killed without a chance to clean up: one of them always hands over and
// ends, and the other is left running.
TEST(ApplicationInstanceTest, TwoLaunchesAtOnceNeverLeaveTwoRunning)
{
    RunningApplication app;
    const QString gate = app.folder() + QStringLiteral("/gate");
    ASSERT_EQ(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
    // Held open for writing, so each launcher finds its line whenever it gets to the gate.
    const quorvia::platform::FileDescriptor gateWriter(::open(QFile::encodeName(gate).constData(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(gateWriter.isOpen());
    app.launcher() = {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("read -r _ < \"$0\"; exec \"$1\""), gate};
    QProcess other;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(app.launch());
        ASSERT_TRUE(app.launchAnother(other));
        ASSERT_EQ(::write(gateWriter.get(), "go\ngo\n", 6), 6);
        ASSERT_TRUE(waitUntil([&] { return !app.isRunning() || other.state() == QProcess::NotRunning; }))
            << "neither launch ended: two instances run";
        QProcess& ended = app.isRunning() ? other : app.process();
        QProcess& left = app.isRunning() ? app.process() : other;
        EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(ended.exitCode(), 0);
        ASSERT_EQ(left.state(), QProcess::Running);
        // Stopped for good, with no chance to remove its socket.
        left.kill();
        ASSERT_TRUE(RunningApplication::waitUntilEnded(left));
    }
}

// A running instance that does not answer (stopped, as a debugger or a full
// backlog would leave it) still holds its place: a new launch ends instead of
// replacing it.
TEST(ApplicationInstanceTest, AnInstanceThatDoesNotAnswerIsNotReplaced)
{
    RunningApplication app;
    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(app.waitUntilListening());
    const QString socket = app.environment().value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/quorvia-instance");
    const auto inodeOf = [&] {
        struct stat status {};
        return ::lstat(QFile::encodeName(socket).constData(), &status) == 0 ? status.st_ino : ino_t(0);
    };
    const ino_t inode = inodeOf();
    ASSERT_NE(inode, ino_t(0));
    ::kill(static_cast<pid_t>(app.pid()), SIGSTOP);
    // Its backlog full: no connection gets through until it runs again.
    std::vector<quorvia::platform::FileDescriptor> crowd;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socket).constData(), sizeof address.sun_path - 1);
    for (int i = 0; i < 100000; ++i) {
        quorvia::platform::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            break;
        crowd.push_back(std::move(fd));
    }

    QProcess second;
    ASSERT_TRUE(app.launchAnother(second));
    ASSERT_TRUE(RunningApplication::waitUntilEnded(second)) << "the new launch stayed";
    ::kill(static_cast<pid_t>(app.pid()), SIGCONT);
    EXPECT_TRUE(app.isRunning());
    EXPECT_EQ(inodeOf(), inode) << "the running instance's socket was replaced";
}

// A stopped instance still lets a later launch in and takes its bytes: only
// its answer is a hand-over. The launch says at once why it may not run and
// ends non-zero, rather than waiting as for a loaded instance; the instance,
// just continued, answers the next one.
TEST(ApplicationInstanceTest, ALaunchBesideAStoppedInstanceSaysWhyAndFails)
{
    RunningApplication app;
    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(app.waitUntilListening());
    ::kill(static_cast<pid_t>(app.pid()), SIGSTOP);
    QProcess second;
    ASSERT_TRUE(app.launchAnother(second, QProcess::SeparateChannels));
    // Half the patience a running instance is given: ample for a start on a loaded machine.
    const bool ended = RunningApplication::waitUntilEnded(second, SingleInstanceGuard::handOverPatienceMs / 2);
    ::kill(static_cast<pid_t>(app.pid()), SIGCONT);
    ASSERT_TRUE(ended) << "the launch waits for a stopped instance";
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains(QStringLiteral("没有应答")));

    QProcess third;
    ASSERT_TRUE(app.launchAnother(third));
    ASSERT_TRUE(RunningApplication::waitUntilEnded(third));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_TRUE(app.isRunning());
}

// Holds every thread of a process without stopping it, as a machine too busy
// to run it does: it is never "stopped", it only makes no progress.
class Frozen {
public:
    explicit Frozen(qint64 pid) : group_(QStringLiteral("/sys/fs/cgroup/freezer/quorvia-test-%1").arg(pid))
    {
        frozen_ = QDir().mkdir(group_) && write(QStringLiteral("cgroup.procs"), QByteArray::number(pid))
                  && write(QStringLiteral("freezer.state"), "FROZEN");
    }
    ~Frozen()
    {
        write(QStringLiteral("freezer.state"), "THAWED");
        QFile procs(group_ + QStringLiteral("/cgroup.procs"));
        if (procs.open(QIODevice::ReadOnly))
            for (const QByteArray& pid : procs.readAll().split('\n'))
                if (!pid.isEmpty())
                    write(QStringLiteral("../cgroup.procs"), pid);
        QDir().rmdir(group_);
    }
    bool isFrozen() const { return frozen_; }

private:
    bool write(const QString& name, const QByteArray& value) const
    {
        QFile file(group_ + u'/' + name);
        return file.open(QIODevice::WriteOnly) && file.write(value) == value.size() && file.flush();
    }
    QString group_;
    bool frozen_ = false;
};

// An instance that makes no progress for longer than a launch once waited
// for its answer, then runs again: the launch hands over all the same.
TEST(ApplicationInstanceTest, ALaunchBesideALoadedInstanceHandsOver)
{
    RunningApplication app;
    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(app.waitUntilListening());
    QProcess second;
    {
        const Frozen loaded(app.pid());
        if (!loaded.isFrozen())
            GTEST_SKIP() << "needs the cgroup freezer, as root";
        ASSERT_TRUE(app.launchAnother(second));
        runEventsFor(SingleInstanceGuard::handOverPatienceMs / 2);
    }
    ASSERT_TRUE(RunningApplication::waitUntilEnded(second)) << "the launch stayed";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(app.isRunning());
}

// Whether a lock file is held by some process.
bool isHeld(const QString& lock)
{
    const quorvia::platform::FileDescriptor fd(::open(QFile::encodeName(lock).constData(), O_RDONLY | O_CLOEXEC));
    return fd.isOpen() && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// Folders nothing could write at the start: the launch runs holding no lock.
// Once they can be written, it takes the locks before its store writes, and a
// later launch gives way to it.
TEST(ApplicationInstanceTest, ALaterLaunchGivesWayToOneThatBeganWithoutLocks)
{
    RunningApplication app;
    const QString settings = app.folder() + QStringLiteral("/config/com.local.quorvia.mvp");
    std::optional<ReadOnlyFolder> settingsReadOnly(std::in_place, settings);
    std::optional<ReadOnlyFolder> dataReadOnly(std::in_place, app.folder() + QStringLiteral("/data/com.local.quorvia.mvp"));
    if (!settingsReadOnly->isReadOnly() || !dataReadOnly->isReadOnly())
        GTEST_SKIP() << "needs root to mount the folders read-only: root writes past their mode";
    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(app.waitUntilListening());
    settingsReadOnly.reset();
    dataReadOnly.reset();

    // The start's save, failed, is tried again, and written only under the lock.
    const QString index = settings + QStringLiteral("/defaults/defaults.dat");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(index) || !app.isRunning(); }) && app.isRunning());
    EXPECT_TRUE(isHeld(settings + QStringLiteral("/instance.lock"))) << "the store wrote without the lock";
    QProcess second;
    ASSERT_TRUE(app.launchAnother(second));
    ASSERT_TRUE(RunningApplication::waitUntilEnded(second)) << "two instances run over one store";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(app.quit());
}

// Lock files missing, the application's folders closed to writing (the
// launches run without the power to write past a folder's mode) and the
// store's own folder open: neither of two launches close together can take
// the lock that guards the store, so neither writes it, and each says so.
TEST(ApplicationInstanceTest, LaunchesBesideReadOnlyApplicationFoldersNeverWriteTheStoreUnlocked)
{
    RunningApplication app;
    const QString settings = app.folder() + QStringLiteral("/config/com.local.quorvia.mvp");
    const QString data = app.folder() + QStringLiteral("/data/com.local.quorvia.mvp");
    ASSERT_TRUE(QDir().mkpath(settings + QStringLiteral("/defaults")) && QDir().mkpath(data + QStringLiteral("/Documents")));
    ASSERT_EQ(::chmod(QFile::encodeName(settings).constData(), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(data).constData(), 0555), 0);
    app.launcher() = {QStringLiteral("setpriv"), QStringLiteral("--inh-caps=-all"),
                      QStringLiteral("--bounding-set=-dac_override,-dac_read_search")};
    app.collectErrors();
    QProcess second;
    ASSERT_TRUE(app.launch());
    runEventsFor(50);
    ASSERT_TRUE(app.launchAnother(second));

    const QString index = settings + QStringLiteral("/defaults/defaults.dat");
    const auto refusedToSave = [&] {
        const int running = int(app.isRunning()) + int(second.state() != QProcess::NotRunning);
        return running > 0 && app.errorsSaid().count(QStringLiteral("无法保存到")) >= running;
    };
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(index) || refusedToSave(); }));
    EXPECT_FALSE(QFileInfo::exists(index)) << "a launch wrote the store without its lock";
}

// The data folder closed to writing, the document store beneath it open: a
// launch that could not take the data folder's lock leaves the copies in the
// making where they are, as it leaves everything beneath that folder.
TEST(ApplicationInstanceTest, ALaunchWithoutTheDataFoldersLockLeavesIncomingCopiesAlone)
{
    RunningApplication app;
    const QString data = app.folder() + QStringLiteral("/data/com.local.quorvia.mvp");
    const QString copy = data + QStringLiteral("/ProjectDocuments/.incoming/A/deck.key");
    ASSERT_TRUE(QDir().mkpath(copy));
    ASSERT_EQ(::chmod(QFile::encodeName(data).constData(), 0555), 0);
    app.launcher() = {QStringLiteral("setpriv"), QStringLiteral("--inh-caps=-all"),
                      QStringLiteral("--bounding-set=-dac_override,-dac_read_search")};
    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(app.waitUntilListening());
    EXPECT_TRUE(QFileInfo::exists(copy)) << "a launch without the data folder's lock swept the store";
}

// The store's writer thread runs: the launch has opened the store.
bool hasOpenedTheStore(const RunningApplication& app)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(app.pid()));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == quorvia::platform::native::SettingsDefaults::writerThreadName)
            return true;
    }
    return false;
}

// Without a runtime folder, with the temporary folder's name taken by another
// user and a config path too long for a socket there, no launch can hand over:
// still only one of them opens the store, and the projects outlive both. A lock
// that cannot be made at all lets no launch run.
TEST(ApplicationInstanceTest, OneStoreWriterWhateverBecomesOfTheSocket)
{
    RunningApplication app;
    app.environment().remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QFile squatted(app.environment().value(QStringLiteral("TMPDIR")) + QStringLiteral("/quorvia-%1").arg(::getuid()));
    ASSERT_TRUE(squatted.open(QIODevice::WriteOnly));
    squatted.close();
    const QString config = app.folder() + QStringLiteral("/config-") + QString(80, u'c');
    app.environment().insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    const QString settings = config + QStringLiteral("/com.local.quorvia.mvp");
    ASSERT_TRUE(QDir().mkpath(settings));
    {
        QSettings legacy(settings + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
        legacy.setValue(QStringLiteral("presentation.promptScript"), QStringLiteral("1\n开场\n---\n2\n收尾"));
    }

    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(waitUntil([&] { return hasOpenedTheStore(app) || !app.isRunning(); }) && app.isRunning());
    QProcess second;
    ASSERT_TRUE(app.launchAnother(second));
    ASSERT_TRUE(RunningApplication::waitUntilEnded(second)) << "two launches write one store";
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(app.quit());
    const quorvia::platform::native::SettingsDefaults store(settings + QStringLiteral("/defaults"), QString());
    EXPECT_TRUE(store.value(QStringLiteral("presentation.projects.v1")).has_value());

    // Something in the lock's place that is not a lock.
    ASSERT_TRUE(QFile::remove(settings + QStringLiteral("/instance.lock")));
    ASSERT_TRUE(QDir().mkdir(settings + QStringLiteral("/instance.lock")));
    ASSERT_TRUE(app.launch());
    ASSERT_TRUE(RunningApplication::waitUntilEnded(app.process())) << "a launch without the lock runs";
    EXPECT_NE(app.process().exitCode(), 0);
}

// Every descriptor of the running application but its standard streams
// closes when it starts a program, those it was handed included: a started
// program holds none of its sockets, pipes or files.
TEST(ApplicationInstanceTest, AStartedProgramInheritsOnlyTheStandardStreams)
{
    RunningApplication app;
    app.seedScript(QStringLiteral("1\n开场"));
    {
        int handed[2];
        ASSERT_EQ(::pipe(handed), 0); // without close-on-exec, as a careless launcher leaves one
        const quorvia::platform::FileDescriptor reader(handed[0]), writer(handed[1]);
        ASSERT_TRUE(app.launch());
    }
    // The start is over once its own save, of the project made from the script, is written.
    ASSERT_TRUE(waitUntil([&] {
        return QFileInfo::exists(app.folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults/defaults.dat"))
               || !app.isRunning();
    }));
    ASSERT_TRUE(app.isRunning());
    const QDir descriptors(QStringLiteral("/proc/%1/fdinfo").arg(app.pid()));
    int passedOn = 0;
    for (const QString& fd : descriptors.entryList(QDir::Files)) {
        QFile info(descriptors.filePath(fd));
        if (fd.toInt() <= 2 || !info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("flags:") && (line.mid(6).trimmed().toUInt(nullptr, 8) & O_CLOEXEC) == 0) {
                ++passedOn;
                ADD_FAILURE() << "descriptor " << fd.toStdString() << " passes on: "
                              << QFileInfo(QStringLiteral("/proc/%1/fd/%2").arg(app.pid()).arg(fd)).symLinkTarget().toStdString();
            }
    }
    EXPECT_EQ(passedOn, 0);
}

} // namespace
