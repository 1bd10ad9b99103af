#include "platform/linux/network/SocketHttpSession.h"

#include "support/EventWait.h"
#include "support/LocalHttpsServer.h"
#include "support/QtPrinting.h"

#include <QElapsedTimer>
#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

// Against the local TLS server, whose certificate only this session trusts.
class SocketHttpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.problem().isEmpty())
            GTEST_FAIL() << server.problem().toStdString();
    }

    std::optional<platform::HttpResult> fetch(std::optional<qint64> cap, double timeoutSeconds = 60)
    {
        return fetchFrom(server.url(), *session, cap, timeoutSeconds);
    }

    static std::optional<platform::HttpResult> fetchFrom(const QUrl& url, platform::HttpSession& session,
                                                         std::optional<qint64> cap, double timeoutSeconds = 60)
    {
        platform::HttpRequest request;
        request.url = url;
        request.method = "POST";
        request.body = "{}";
        request.timeoutSeconds = timeoutSeconds;
        request.maximumReplyBytes = cap;
        std::optional<platform::HttpResult> result;
        session.dataTask(request, [&](platform::HttpResult r) { result = std::move(r); });
        test::waitUntil([&] { return result.has_value(); });
        return result;
    }

    test::LocalHttpsServer server;
    std::shared_ptr<platform::HttpSession> session =
        std::make_shared<platform::native::SocketHttpSession>(QList<QSslCertificate>{server.certificate()});
};

} // namespace

TEST_F(SocketHttpSessionTest, HeaderLinesWithoutEndAreCutOffAtTheReplyCap)
{
    server.reply.endlessHeaders = true;
    const auto result = fetch(256 * 1024);
    ASSERT_TRUE(result.has_value()) << "the reply was never cut off";
    EXPECT_EQ(result->failure, platform::HttpFailure::replyTooLarge);
    EXPECT_FALSE(result->body);

    // Without a cap on the body the head is still bounded.
    const auto uncapped = fetch(std::nullopt);
    ASSERT_TRUE(uncapped.has_value()) << "the reply was never cut off";
    EXPECT_EQ(uncapped->failure, platform::HttpFailure::replyTooLarge);
}

TEST_F(SocketHttpSessionTest, TheHeadCountsWithTheBodyAgainstTheCap)
{
    server.reply.body = QByteArray(10000, 'b');
    const auto fits = fetch(20000);
    ASSERT_TRUE(fits && !fits->failure);
    EXPECT_EQ(fits->statusCode, 200);
    EXPECT_EQ(fits->body, server.reply.body);

    // The body alone would fit; with its head it does not.
    EXPECT_EQ(fetch(10000)->failure, platform::HttpFailure::replyTooLarge);
}

TEST_F(SocketHttpSessionTest, AChunkedReplyIsJoinedAndItsCodingCountsAgainstTheCap)
{
    server.reply.status = 201;
    server.reply.body = QByteArray("0123456789abcdefghij").repeated(500);
    server.reply.chunkSize = 700;
    const auto joined = fetch(std::nullopt);
    ASSERT_TRUE(joined && !joined->failure);
    EXPECT_EQ(joined->statusCode, 201);
    EXPECT_EQ(joined->body, server.reply.body);
    EXPECT_EQ(server.requests.back().body, QByteArray("{}"));
    EXPECT_EQ(server.requests.back().headers.value("content-length"), QByteArray("2"));

    EXPECT_EQ(fetch(server.reply.body.size())->failure, platform::HttpFailure::replyTooLarge);
}

TEST_F(SocketHttpSessionTest, ACertificateForAnotherHostIsRefused)
{
    test::LocalHttpsServer elsewhere(QStringLiteral("cloud.example"));
    ASSERT_TRUE(elsewhere.problem().isEmpty()) << elsewhere.problem().toStdString();
    elsewhere.reply.body = "{}";
    // Its certificate is trusted, but it names another host than the one asked.
    platform::native::SocketHttpSession trusting({elsewhere.certificate()});
    const auto result = fetchFrom(elsewhere.url(), trusting, std::nullopt);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->failure, platform::HttpFailure::transfer);
    EXPECT_TRUE(elsewhere.requests.empty());
}

TEST_F(SocketHttpSessionTest, AReplyEndsByItsLengthByTheCloseOrWithoutBodyAfterInterimReplies)
{
    const auto read = [&](const QByteArray& raw) {
        server.reply.raw = raw;
        const auto result = fetch(std::nullopt);
        return result && !result->failure ? std::pair(result->statusCode.value_or(0), result->body.value_or("?"))
                                          : std::pair(-1, QByteArray("failed"));
    };
    EXPECT_EQ(read("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA"), std::pair(200, QByteArray("hello")));
    EXPECT_EQ(read("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nto the end"), std::pair(200, QByteArray("to the end")));
    EXPECT_EQ(read("HTTP/1.1 204 No Content\r\nContent-Length: 3\r\n\r\n"), std::pair(204, QByteArray()));
    EXPECT_EQ(read("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
                   "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok"),
              std::pair(201, QByteArray("ok")));
}

TEST_F(SocketHttpSessionTest, AChunkNotFollowedByItsLineBreakFailsTheExchange)
{
    server.reply.raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhelloXY0\r\n\r\n";
    const auto result = fetch(std::nullopt);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->failure, platform::HttpFailure::transfer);
    EXPECT_FALSE(result->body);
}

TEST_F(SocketHttpSessionTest, AHeadOfAHundredThousandShortLinesEndsWithinTheDeadline)
{
    QByteArray raw = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 100000; ++i)
        raw += "X-Line-" + QByteArray::number(i).rightJustified(6, '0') + ": " + QByteArray(47, 'h') + "\r\n";
    raw += "Content-Length: 2\r\n\r\nok";
    server.reply.raw = raw;
    // Each line its own record, as a peer trickling lines sends them.
    server.reply.rawPieceBytes = 64;
    // Read in a second when each record costs only its own bytes; far longer
    // when every record scans the head again.
    const double timeoutSeconds = 20;
    QElapsedTimer clock;
    clock.start();
    const auto result = fetch(16 * 1024 * 1024, timeoutSeconds);
    const qint64 elapsedMs = clock.elapsed();
    ASSERT_TRUE(result.has_value()) << "no answer after " << elapsedMs << " ms";
    // Twice the deadline: a loaded machine may be late to it, a head read in
    // quadratic time is not done in several times as long.
    EXPECT_LT(elapsedMs, timeoutSeconds * 1000 * 2) << "the deadline did not end the exchange";
    EXPECT_FALSE(result->failure) << "cut off after " << elapsedMs << " ms";
    EXPECT_EQ(result->body, QByteArray("ok"));
}

TEST_F(SocketHttpSessionTest, APeerThatNeverPausesIsCutOffAtTheDeadline)
{
    // Records back to back, read by a loop that gives timers no turn, as one
    // busy with them may not: only the reads themselves see the deadline pass.
    server.reply.streamMs = 20000;
    platform::HttpRequest request;
    request.url = server.url();
    request.timeoutSeconds = 1;
    std::optional<platform::HttpResult> result;
    session->dataTask(request, [&](platform::HttpResult r) { result = std::move(r); });
    QElapsedTimer clock;
    clock.start();
    while (!result && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers | QEventLoop::WaitForMoreEvents);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->failure, platform::HttpFailure::transfer);
    EXPECT_LT(clock.elapsed(), server.reply.streamMs) << "ended only when the peer stopped";
}
