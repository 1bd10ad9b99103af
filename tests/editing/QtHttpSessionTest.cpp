#include "LocalHttpsServer.h"

#include "platform/linux/QtHttpSession.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

// Against the local TLS server, whose certificate only this session trusts.
class QtHttpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.problem().isEmpty())
            GTEST_FAIL() << server.problem().toStdString();
    }

    std::optional<platform::HttpResult> fetch(std::optional<qint64> cap, double timeoutSeconds = 60)
    {
        platform::HttpRequest request;
        request.url = server.url();
        request.method = "POST";
        request.body = "{}";
        request.timeoutSeconds = timeoutSeconds;
        request.maximumBodyBytes = cap;
        std::optional<platform::HttpResult> result;
        session->dataTask(request, [&](platform::HttpResult r) { result = std::move(r); });
        // Only a hang reaches this: the time-out above is longer still.
        test::spinUntil([&] { return result.has_value(); }, 40000);
        return result;
    }

    test::LocalHttpsServer server;
    std::shared_ptr<platform::HttpSession> session =
        std::make_shared<platform::native::QtHttpSession>(QList<QSslCertificate>{server.certificate()});
};

} // namespace

TEST_F(QtHttpSessionTest, HeaderLinesWithoutEndAreCutOffAtTheReplyCap)
{
    server.reply.endlessHeaders = true;
    const auto result = fetch(256 * 1024);
    ASSERT_TRUE(result.has_value()) << "the reply was never cut off";
    EXPECT_EQ(result->failure, platform::HttpFailure::bodyTooLarge);
    EXPECT_FALSE(result->body);

    // Without a cap on the body the head is still bounded.
    const auto uncapped = fetch(std::nullopt);
    ASSERT_TRUE(uncapped.has_value()) << "the reply was never cut off";
    EXPECT_EQ(uncapped->failure, platform::HttpFailure::bodyTooLarge);
}

TEST_F(QtHttpSessionTest, TheHeadCountsWithTheBodyAgainstTheCap)
{
    server.reply.body = QByteArray(10000, 'b');
    const auto fits = fetch(20000);
    ASSERT_TRUE(fits && !fits->failure);
    EXPECT_EQ(fits->statusCode, 200);
    EXPECT_EQ(fits->body, server.reply.body);

    // The body alone would fit; with its head it does not.
    EXPECT_EQ(fetch(10000)->failure, platform::HttpFailure::bodyTooLarge);
}

TEST_F(QtHttpSessionTest, AChunkedReplyIsJoinedAndItsCodingCountsAgainstTheCap)
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

    EXPECT_EQ(fetch(server.reply.body.size())->failure, platform::HttpFailure::bodyTooLarge);
}
