#include "platform/linux/SettingsDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The real executable on the offscreen platform, with folders of the test's
// own; only the instance it decides to be matters here.
class ApplicationInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        executable = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quorvia"));
        ASSERT_TRUE(QFileInfo(executable).isExecutable()) << executable.toStdString();
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TMPDIR"), folders.path());
        environment.insert(QStringLiteral("HOME"), folders.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folders.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folders.path());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("DISPLAY"));
        gate = folders.filePath(QStringLiteral("gate"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
        // Held open for writing, so each launcher finds its line whenever it gets to the gate.
        gateFd = ::open(QFile::encodeName(gate).constData(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(gateFd, 0);
    }

    void TearDown() override
    {
        for (auto* process : {&a, &b})
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        if (gateFd >= 0)
            ::close(gateFd);
    }

    // Started, then held at the gate until it opens.
    void launchAtGate(QProcess& process)
    {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("read -r _ < \"$0\"; exec \"$1\""), gate, executable});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    void openGate(int launches)
    {
        const QByteArray lines = QByteArray("go\n").repeated(launches);
        ASSERT_EQ(::write(gateFd, lines.constData(), static_cast<size_t>(lines.size())), lines.size());
    }

    // Until one of the two has ended; nullptr when neither has by the deadline.
    QProcess* firstToEnd(int timeoutMs = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            for (auto* process : {&a, &b})
                if (process->waitForFinished(10))
                    return process;
        }
        return nullptr;
    }

    QTemporaryDir folders;
    QString executable;
    QProcessEnvironment environment;
    QString gate;
    int gateFd = -1;
    QProcess a;
    QProcess b;
};

// Two launches let go at once, a hundred times, the one left from the round
// before killed without a chance to clean up: one of them always hands over and
// ends, and the other is left running.
TEST_F(ApplicationInstanceTest, TwoLaunchesAtOnceNeverLeaveTwoRunning)
{
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        launchAtGate(a);
        launchAtGate(b);
        openGate(2);
        QProcess* ended = firstToEnd();
        ASSERT_NE(ended, nullptr) << "neither launch ended: two instances run";
        QProcess* other = ended == &a ? &b : &a;
        EXPECT_EQ(ended->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(ended->exitCode(), 0) << ended->readAllStandardError().toStdString();
        ASSERT_EQ(other->state(), QProcess::Running) << other->readAllStandardError().toStdString();
        // Stopped for good, with no chance to remove its socket.
        other->kill();
        ASSERT_TRUE(other->waitForFinished(30000));
    }
}

// A running instance that does not answer (stopped, as a debugger or a full
// backlog would leave it) still holds its place: a new launch ends instead of
// replacing it.
TEST_F(ApplicationInstanceTest, AnInstanceThatDoesNotAnswerIsNotReplaced)
{
    launchAtGate(a);
    openGate(1);
    const QString socket = folders.filePath(QStringLiteral("quorvia-instance"));
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(socket) && clock.elapsed() < 60000)
        QThread::msleep(20);
    ASSERT_TRUE(QFileInfo::exists(socket));
    const auto inodeOf = [&] {
        struct stat status {};
        return ::lstat(QFile::encodeName(socket).constData(), &status) == 0 ? status.st_ino : ino_t(0);
    };
    const ino_t inode = inodeOf();
    ::kill(static_cast<pid_t>(a.processId()), SIGSTOP);
    // Its backlog full: no connection gets through until it runs again.
    std::vector<int> crowd;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socket).constData(), sizeof address.sun_path - 1);
    for (int i = 0; i < 100000; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            break;
        }
        crowd.push_back(fd);
    }

    launchAtGate(b);
    openGate(1);
    ASSERT_TRUE(b.waitForFinished(60000)) << "the new launch stayed";
    ::kill(static_cast<pid_t>(a.processId()), SIGCONT);
    EXPECT_EQ(a.state(), QProcess::Running);
    EXPECT_EQ(inodeOf(), inode) << "the running instance's socket was replaced";
    for (const int fd : crowd)
        ::close(fd);
}

// The store's writer thread runs: the launch has opened the store.
bool hasOpenedTheStore(const QProcess& process)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(process.processId()));
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
TEST_F(ApplicationInstanceTest, OneStoreWriterWhateverBecomesOfTheSocket)
{
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QFile squatted(folders.filePath(QStringLiteral("quorvia-%1").arg(::getuid())));
    ASSERT_TRUE(squatted.open(QIODevice::WriteOnly));
    squatted.close();
    const QString config = folders.filePath(QStringLiteral("config-") + QString(80, u'c'));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    const QString settings = config + QStringLiteral("/com.local.quorvia.mvp");
    ASSERT_TRUE(QDir().mkpath(settings));
    {
        QSettings legacy(settings + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
        legacy.setValue(QStringLiteral("presentation.promptScript"), QStringLiteral("1\n开场\n---\n2\n收尾"));
    }

    launchAtGate(a);
    openGate(1);
    QElapsedTimer clock;
    clock.start();
    while (!hasOpenedTheStore(a) && a.state() == QProcess::Running && clock.elapsed() < 60000)
        QThread::msleep(20);
    ASSERT_TRUE(hasOpenedTheStore(a)) << a.readAllStandardError().toStdString();
    launchAtGate(b);
    openGate(1);
    ASSERT_TRUE(b.waitForFinished(60000)) << "two launches write one store";
    EXPECT_NE(b.exitCode(), 0);
    EXPECT_EQ(a.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(a.processId()), SIGTERM);
    ASSERT_TRUE(a.waitForFinished(60000));
    const quorvia::platform::native::SettingsDefaults store(settings + QStringLiteral("/defaults"), QString());
    EXPECT_TRUE(store.value(QStringLiteral("presentation.projects.v1")).has_value());

    // Something in the lock's place that is not a lock.
    ASSERT_TRUE(QFile::remove(settings + QStringLiteral("/instance.lock")));
    ASSERT_TRUE(QDir().mkdir(settings + QStringLiteral("/instance.lock")));
    launchAtGate(a);
    openGate(1);
    ASSERT_TRUE(a.waitForFinished(60000)) << "a launch without the lock runs";
    EXPECT_NE(a.exitCode(), 0);
}

// Every descriptor of the running application but its standard streams
// closes when it starts a program, those it was handed included: a started
// program holds none of its sockets, pipes or files.
TEST_F(ApplicationInstanceTest, AStartedProgramInheritsOnlyTheStandardStreams)
{
    int handed[2];
    ASSERT_EQ(::pipe(handed), 0); // without close-on-exec, as a careless launcher leaves one
    launchAtGate(a);
    ::close(handed[0]);
    ::close(handed[1]);
    openGate(1);
    QElapsedTimer clock;
    clock.start();
    while (!hasOpenedTheStore(a) && a.state() == QProcess::Running && clock.elapsed() < 60000)
        QThread::msleep(20);
    ASSERT_TRUE(hasOpenedTheStore(a));
    QThread::msleep(500); // the rest of its start
    const QDir descriptors(QStringLiteral("/proc/%1/fdinfo").arg(a.processId()));
    int passedOn = 0;
    for (const QString& fd : descriptors.entryList(QDir::Files)) {
        QFile info(descriptors.filePath(fd));
        if (fd.toInt() <= 2 || !info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("flags:") && (line.mid(6).trimmed().toUInt(nullptr, 8) & O_CLOEXEC) == 0) {
                ++passedOn;
                ADD_FAILURE() << "descriptor " << fd.toStdString() << " passes on: "
                              << QFileInfo(QStringLiteral("/proc/%1/fd/%2").arg(a.processId()).arg(fd)).symLinkTarget().toStdString();
            }
    }
    EXPECT_EQ(passedOn, 0);
}

} // namespace
