#include "support/XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using quorvia::test::XServer;

namespace {

// The real executable on a private X server, with private folders for its
// settings, documents and instance socket.
class ApplicationProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (server.name().isEmpty())
            GTEST_SKIP() << "Xvfb cannot start here";
        executable = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quorvia"));
        ASSERT_TRUE(QFileInfo(executable).isExecutable()) << executable.toStdString();
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), server.name());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("TMPDIR"), folders.path());
        environment.insert(QStringLiteral("HOME"), folders.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folders.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folders.path());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    }

    void TearDown() override
    {
        for (auto* process : {&first, &second})
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
    }

    void launch(QProcess& process)
    {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(executable, {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // Until the instance socket exists, the application has not finished starting.
    bool waitUntilListening(int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        const QDir temp(folders.path());
        while (clock.elapsed() < timeoutMs) {
            for (const auto& entry : temp.entryList(QDir::System))
                if (entry.startsWith(QStringLiteral("quorvia-")))
                    return true;
            QThread::msleep(20);
        }
        return false;
    }

    XServer server;
    QTemporaryDir folders;
    QString executable;
    QProcessEnvironment environment;
    QProcess first;
    QProcess second;
};

TEST_F(ApplicationProcessTest, aSecondLaunchHandsOverAndExitsWhileTheFirstStays)
{
    launch(first);
    ASSERT_TRUE(waitUntilListening());
    launch(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    QThread::msleep(300);
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(ApplicationProcessTest, terminationSignalQuitsCleanlyWithinTheFallback)
{
    launch(first);
    ASSERT_TRUE(waitUntilListening());
    QThread::msleep(300);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_LT(clock.elapsed(), 3500);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}

} // namespace
