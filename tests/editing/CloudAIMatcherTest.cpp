#include "editing/CloudAIMatcher.h"

#include "platform/network/HttpSession.h"
#include "platform/linux/network/SocketHttpSession.h"
#include "support/EventWait.h"
#include "support/LocalHttpsServer.h"
#include "support/QtPrinting.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quorvia;
using Error = CloudAIMatcherError;

namespace {

// Records each request and answers with `reply` at once.
class RecordingSession final : public platform::HttpSession {
public:
    void dataTask(const platform::HttpRequest& request, std::function<void(platform::HttpResult)> completion) override
    {
        requests.push_back(request);
        completion(reply);
    }
    std::vector<platform::HttpRequest> requests;
    platform::HttpResult reply{std::nullopt, 200, QByteArray(R"({"mappings":[]})")};
};

PresentationDeck deckOf(int slides)
{
    PresentationDeck deck;
    for (int i = 1; i <= slides; ++i)
        deck.slides.push_back(PresentationSlide{i, QStringLiteral("第%1页").arg(i)});
    return deck;
}

std::optional<CloudAIMatcher::Result> matchNow(const CloudAIMatcher& matcher, const CloudAIConfiguration& configuration,
                                               int slides = 3, QStringList sections = {"a", "b", "c"})
{
    std::optional<CloudAIMatcher::Result> result;
    matcher.match(deckOf(slides), sections, configuration, [&](CloudAIMatcher::Result r) { result = std::move(r); });
    return result;
}

platform::HttpResult ok(const char* body, int status = 200)
{
    return {std::nullopt, status, QByteArray(body)};
}

std::vector<CloudSlideSuggestion> suggestions(std::initializer_list<CloudSlideSuggestion> list) { return list; }

} // namespace

TEST(CloudAIMatcher, RequestBodyKeepsItsMemberOrderAndLeavesAnEmptyModelOut)
{
    PresentationDeck deck;
    deck.slides.push_back(PresentationSlide{1, QStringLiteral("开场 \"A/B\"")});
    const QByteArray withoutModel = CloudAIMatcher::requestBody(deck, {QStringLiteral("大家好")}, QString());
    EXPECT_EQ(withoutModel,
              QByteArray(R"({"slides":[{"number":1,"text":"开场 \"A/B\""}],"sections":[{"index":0,"text":"大家好"}],)"
                         R"("requirements":"Return one best slide per confident section. A slide may map to multiple sections. )"
                         R"(Use zero-based section_index, one-based slide_number, and confidence from 0 to 1. )"
                         R"(Do not invent mappings when evidence is weak."})"));
    EXPECT_EQ(CloudAIMatcher::requirements.size(), 210);

    const QByteArray withModel = CloudAIMatcher::requestBody({}, {}, QStringLiteral("small-1"));
    EXPECT_TRUE(withModel.startsWith(R"({"model":"small-1","slides":[],"sections":[],"requirements":)"));
    EXPECT_FALSE(QJsonDocument::fromJson(withModel).isNull());
}

TEST(CloudAIMatcher, ConfigurationIsCheckedInOrderBeforeAnythingIsSent)
{
    auto session = std::make_shared<RecordingSession>();
    CloudAIMatcher matcher(session);
    auto withToken = [](QString endpoint, QString token) {
        CloudAIConfiguration c{QUrl(endpoint), QString(), token};
        return c;
    };
    EXPECT_EQ(matchNow(matcher, CloudAIConfiguration{std::nullopt, QString(), QStringLiteral("t")}),
              CloudAIMatcher::Result(std::unexpected(Error::notConfigured)));
    EXPECT_EQ(matchNow(matcher, withToken(QStringLiteral("http://x.example/match"), QString())),
              CloudAIMatcher::Result(std::unexpected(Error::notConfigured)));
    EXPECT_EQ(matchNow(matcher, withToken(QStringLiteral("http://x.example/match"), QStringLiteral("t"))),
              CloudAIMatcher::Result(std::unexpected(Error::insecureEndpoint)));
    EXPECT_EQ(matchNow(matcher, withToken(QStringLiteral("x.example/match"), QStringLiteral("t"))),
              CloudAIMatcher::Result(std::unexpected(Error::insecureEndpoint)));
    // A control character would break or forge headers; inner spaces are fine.
    for (const QString& token : {QStringLiteral("a\r\nX-Evil: 1"), QStringLiteral("a\tb"), QStringLiteral("a\x7f")}) {
        EXPECT_EQ(matchNow(matcher, withToken(QStringLiteral("https://x.example/match"), token)),
                  CloudAIMatcher::Result(std::unexpected(Error::notConfigured)));
    }
    EXPECT_TRUE(session->requests.empty());

    EXPECT_TRUE(matchNow(matcher, withToken(QStringLiteral("HTTPS://x.example/match?k=1"), QStringLiteral("tok en")))->has_value());
    ASSERT_EQ(session->requests.size(), 1u);
    const platform::HttpRequest& sent = session->requests.front();
    EXPECT_EQ(sent.url, QUrl(QStringLiteral("HTTPS://x.example/match?k=1")));
    EXPECT_EQ(sent.method, QByteArray("POST"));
    EXPECT_EQ(sent.timeoutSeconds, 45);
    EXPECT_EQ(sent.maximumReplyBytes, 4 * 1024 * 1024);
    using Header = std::pair<QByteArray, QByteArray>;
    EXPECT_EQ(sent.headers, (std::vector<Header>{{"Content-Type", "application/json"}, {"Authorization", "Bearer tok en"}}));
}

TEST(CloudAIMatcher, ValidationRejectsTheWholeReplyForOneBadMapping)
{
    const auto valid = CloudAIMatcher::validate(suggestions({{2, 1, 0.5}, {0, 3, 0.0}, {1, 1, 1.0}}), 3, 3);
    ASSERT_TRUE(valid.has_value());
    EXPECT_EQ(*valid, suggestions({{0, 3, 0.0}, {1, 1, 1.0}, {2, 1, 0.5}}));

    const std::vector<std::vector<CloudSlideSuggestion>> bad = {
        {{0, 1, 0.5}, {0, 2, 0.5}}, // a section twice
        {{0, 1, 1.0001}},
        {{0, 1, -0.01}},
        {{0, 1, std::numeric_limits<double>::quiet_NaN()}},
        {{0, 0, 0.5}},
        {{0, 4, 0.5}},
        {{3, 1, 0.5}}, // section index equal to the count
        {{-1, 1, 0.5}},
    };
    for (const auto& reply : bad)
        EXPECT_EQ(CloudAIMatcher::validate(reply, 3, 3), CloudAIMatcher::Result(std::unexpected(Error::invalidResponse)));
    EXPECT_EQ(CloudAIMatcher::validate(suggestions({{0, 1, 0.5}}), 3, 0),
              CloudAIMatcher::Result(std::unexpected(Error::invalidResponse)));
    EXPECT_EQ(CloudAIMatcher::validate({}, 0, 0), CloudAIMatcher::Result(std::vector<CloudSlideSuggestion>{}));
}

TEST(CloudAIMatcher, RepliesMapToTheirErrors)
{
    auto interpret = [](const platform::HttpResult& reply) { return CloudAIMatcher::interpretReply(reply, 3, 3); };
    const auto invalid = CloudAIMatcher::Result(std::unexpected(Error::invalidResponse));
    const auto rejected = CloudAIMatcher::Result(std::unexpected(Error::serverRejected));
    EXPECT_EQ(interpret(ok(R"({"mappings":[{"section_index":1,"slide_number":2,"confidence":0.9,"why":"x"}]})")),
              CloudAIMatcher::Result(suggestions({{1, 2, 0.9}})));
    for (const char* body : {"", "[]", "{}", R"({"mappings":null})", R"({"mappings":[{"section_index":0,"slide_number":1.5,"confidence":1}]})",
                             R"({"mappings":[{"section_index":0,"slide_number":null,"confidence":1}]})",
                             R"({"mappings":[{"section_index":0,"confidence":1}]})"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(interpret(ok(body)), invalid);
    }
    EXPECT_EQ(interpret(ok(R"({"mappings":[]})", 404)), rejected);
    EXPECT_EQ(interpret(ok(R"({"mappings":[]})", 500)), rejected);
    EXPECT_EQ(interpret(ok(R"({"mappings":[]})", 199)), rejected);
    EXPECT_EQ(interpret(ok("", 302)), rejected);
    EXPECT_EQ(interpret({std::nullopt, 200, std::nullopt}), rejected);
    EXPECT_EQ(interpret({platform::HttpFailure::transfer, std::nullopt, std::nullopt}),
              CloudAIMatcher::Result(std::unexpected(Error::transportFailure)));
    EXPECT_EQ(interpret({platform::HttpFailure::replyTooLarge, std::nullopt, std::nullopt}), invalid);
}

// Against a real TLS server on 127.0.0.1 whose certificate only this test trusts.
class CloudAIMatcherHttpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.problem().isEmpty())
            GTEST_FAIL() << server.problem().toStdString();
    }

    // Waits for the answer as long as only a hang takes.
    std::optional<CloudAIMatcher::Result> run(const CloudAIMatcher& matcher, const QUrl& endpoint)
    {
        std::optional<CloudAIMatcher::Result> result;
        matcher.match(deckOf(3), {"a", "b", "c"}, CloudAIConfiguration{endpoint, QStringLiteral("m"), QStringLiteral("secret")},
                      [&](CloudAIMatcher::Result r) { result = std::move(r); });
        test::waitUntil([&] { return result.has_value(); });
        return result;
    }

    test::LocalHttpsServer server;
    test::LocalHttpsServer other;
};

TEST_F(CloudAIMatcherHttpsTest, AGoodReplyIsDecodedAndTheRequestArrivesAsBuilt)
{
    auto session = std::make_shared<platform::native::SocketHttpSession>(QList<QSslCertificate>{server.certificate()});
    CloudAIMatcher matcher(session);
    server.reply.body = R"({"mappings":[{"section_index":2,"slide_number":3,"confidence":0.8},{"section_index":0,"slide_number":1,"confidence":0.95}]})";
    const auto result = run(matcher, server.url());
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, CloudAIMatcher::Result(suggestions({{0, 1, 0.95}, {2, 3, 0.8}})));
    ASSERT_EQ(server.requests.size(), 1u);
    const auto& request = server.requests.front();
    EXPECT_EQ(request.method, QByteArray("POST"));
    EXPECT_EQ(request.path, QByteArray("/match"));
    EXPECT_EQ(request.headers.value("authorization"), QByteArray("Bearer secret"));
    EXPECT_EQ(request.headers.value("content-type"), QByteArray("application/json"));
    EXPECT_EQ(request.body, CloudAIMatcher::requestBody(deckOf(3), {"a", "b", "c"}, QStringLiteral("m")));

    server.reply = {.status = 404, .body = R"({"mappings":[]})", .headers = {}};
    EXPECT_EQ(run(matcher, server.url()), CloudAIMatcher::Result(std::unexpected(Error::serverRejected)));
    server.reply = {.status = 200, .body = QByteArray(5 * 1024 * 1024, ' '), .headers = {}};
    EXPECT_EQ(run(matcher, server.url()), CloudAIMatcher::Result(std::unexpected(Error::invalidResponse)));
}

TEST_F(CloudAIMatcherHttpsTest, ARedirectIsRejectedAndItsTargetNeverHearsOfTheToken)
{
    auto session = std::make_shared<platform::native::SocketHttpSession>(
        QList<QSslCertificate>{server.certificate(), other.certificate()});
    CloudAIMatcher matcher(session);
    server.reply = {307, QByteArray(), {{"Location", other.url().toEncoded()}}};
    EXPECT_EQ(run(matcher, server.url()), CloudAIMatcher::Result(std::unexpected(Error::serverRejected)));
    test::runEventsFor(100);
    EXPECT_TRUE(other.requests.empty());
}

TEST_F(CloudAIMatcherHttpsTest, SilenceAndUntrustedCertificatesAreTransportFailures)
{
    auto session = std::make_shared<platform::native::SocketHttpSession>(QList<QSslCertificate>{server.certificate()});
    server.reply.never = true;
    // A loaded machine may not even finish the handshake within a short
    // time-out: that fails the same way, and a longer one is tried until the
    // request itself met the silence.
    for (double timeout = 0.3; server.requests.empty() && timeout < 60; timeout *= 2) {
        CloudAIMatcher quick(session, timeout);
        EXPECT_EQ(run(quick, server.url()), CloudAIMatcher::Result(std::unexpected(Error::transportFailure)));
    }
    EXPECT_EQ(server.requests.size(), 1u);

    // The other server's certificate is trusted by nobody here.
    other.reply.body = R"({"mappings":[]})";
    CloudAIMatcher matcher(session);
    EXPECT_EQ(run(matcher, other.url()), CloudAIMatcher::Result(std::unexpected(Error::transportFailure)));
    EXPECT_TRUE(other.requests.empty());
}

TEST_F(CloudAIMatcherHttpsTest, APeerDrippingBytesIsCutOffAtTheTimeOut)
{
    auto session = std::make_shared<platform::native::SocketHttpSession>(QList<QSslCertificate>{server.certificate()});
    // Each byte comes well within the time-out; the whole reply would take
    // five minutes, far past the wait for the answer.
    server.reply = {.status = 200, .body = QByteArray(2000, ' '), .headers = {}};
    server.reply.dripIntervalMs = 150;
    for (double timeout = 0.8; server.requests.empty() && timeout < 60; timeout *= 2) {
        CloudAIMatcher quick(session, timeout);
        EXPECT_EQ(run(quick, server.url()), CloudAIMatcher::Result(std::unexpected(Error::transportFailure)));
    }
    EXPECT_EQ(server.requests.size(), 1u);
}
