#include "platform/linux/sound/PulseConnection.h"
#include "support/EventWait.h"
#include "support/PulseAudioServer.h"
#include "support/QtPrinting.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using quorvia::platform::native::PulseConnection;

namespace {

// A sound server that is not there is looked for again only after a pause
// that grows, so a machine without one is not asked three times a second
// (each time reading the client's settings); a socket that appears where it
// would listen is tried at once.
class PulseConnectionRetryTest : public ::testing::Test {
protected:
    bool connect(PulseConnection& connection)
    {
        PulseConnection::Lock lock(connection);
        return connection.ensureConnected();
    }

    double now = 100;
    PulseConnection::Clock clock = [this] { return now; };
};

TEST_F(PulseConnectionRetryTest, AMissingServerIsTriedAgainAfterAPauseThatGrowsUpToTheLongest)
{
    QTemporaryDir folder;
    const QString socket = folder.filePath(QStringLiteral("native"));
    PulseConnection connection(QStringLiteral("unix:") + socket, PulseConnection::defaultAnswerBound, clock);
    EXPECT_FALSE(connect(connection));
    EXPECT_EQ(connection.connectionAttempts(), 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(connect(connection));
    EXPECT_EQ(connection.connectionAttempts(), 1) << "tried again at once";

    double pause = PulseConnection::firstRetryPause;
    for (int attempt = 2; attempt <= 9; ++attempt) {
        now += pause / 2;
        EXPECT_FALSE(connect(connection));
        EXPECT_EQ(connection.connectionAttempts(), attempt - 1) << "tried again within the pause of " << pause << " s";
        now += pause / 2;
        EXPECT_FALSE(connect(connection));
        EXPECT_EQ(connection.connectionAttempts(), attempt) << "not tried again after the pause of " << pause << " s";
        pause = std::min(pause * 2, PulseConnection::longestRetryPause);
    }
    EXPECT_EQ(pause, PulseConnection::longestRetryPause);

    // Something appears where the server would listen: tried at once, and
    // not again while it stays as it is.
    QFile file(socket);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const int before = connection.connectionAttempts();
    EXPECT_FALSE(connect(connection));
    EXPECT_EQ(connection.connectionAttempts(), before + 1);
    EXPECT_FALSE(connect(connection));
    EXPECT_EQ(connection.connectionAttempts(), before + 1);
}

TEST_F(PulseConnectionRetryTest, AServerStartedAgainOnItsSocketIsFoundAtOnceAndTheConnectionWorks)
{
    ASSERT_TRUE(quorvia::test::PulseAudioServer::isInstalled());
    quorvia::test::PulseAudioServer server({QStringLiteral("module-null-sink sink_name=speakers")});
    ASSERT_TRUE(server.isRunning());
    PulseConnection connection(server.address(), PulseConnection::defaultAnswerBound, clock);
    EXPECT_TRUE(connect(connection));

    server.kill();
    // The loss is seen by the connection's own thread; the next use finds it.
    EXPECT_TRUE(quorvia::test::waitUntil([&] { return !connect(connection); }));
    const int failed = connection.connectionAttempts();
    EXPECT_FALSE(connect(connection));
    EXPECT_EQ(connection.connectionAttempts(), failed) << "a gone server was asked for again at once";

    ASSERT_TRUE(server.restart());
    EXPECT_TRUE(connect(connection)) << "the server started again was not looked for before the pause ended";
    // A success ends the pauses: a later loss is tried again at once.
    server.kill();
    EXPECT_TRUE(quorvia::test::waitUntil([&] { return !connect(connection); }));
    ASSERT_TRUE(server.restart());
    EXPECT_TRUE(connect(connection));
}

} // namespace
