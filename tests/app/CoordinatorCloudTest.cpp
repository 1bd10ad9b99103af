#include "CoordinatorHarness.h"

#include "editing/CloudAISettings.h"
#include "platform/network/HttpSession.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;

namespace {

// Answers every request on a later main-queue turn with the reply the test set.
class FakeHttpSession final : public platform::HttpSession {
public:
    void dataTask(const platform::HttpRequest& request, std::function<void(platform::HttpResult)> completion) override
    {
        requests.push_back(request);
        platform::MainQueue::async([completion, reply = reply] { completion(reply); });
    }
    platform::HttpResult reply;
    std::vector<platform::HttpRequest> requests;
};

class CoordinatorCloudTest : public CoordinatorHarness {
protected:
    CoordinatorCloudTest()
    {
        coordinator = std::make_unique<AppCoordinator>(session);
        subject = coordinator.get();
        app().start();
        settle();
        EXPECT_TRUE(CloudAISettings().save(QStringLiteral("https://match.example/api"), {}, QStringLiteral("secret")));
        app().script().replaceText(QStringLiteral("1\na\n---\n2\nb\n---\n3\nc"));
        app().script().replaceDeck(PresentationDeck::keynoteDocument(QStringLiteral("/x/Talk.key"), 3));
        session->reply.statusCode = 200;
        session->reply.body = QByteArrayLiteral(
            R"({"mappings":[{"section_index":0,"slide_number":3,"confidence":0.72},)"
            R"({"section_index":1,"slide_number":1,"confidence":0.71},)"
            R"({"section_index":2,"slide_number":2,"confidence":0.5}]})");
    }
    std::optional<SlideMappingReview> review(qint64 section) { return app().script().slideMappingReview(section); }

    std::shared_ptr<FakeHttpSession> session = std::make_shared<FakeHttpSession>();
};

TEST_F(CoordinatorCloudTest, SuggestionsAreStoredAsReviewsOfTheActiveProject)
{
    app().runCloudAIMapping();
    settle();
    ASSERT_EQ(session->requests.size(), 1u);
    EXPECT_EQ(session->requests[0].url, QUrl(QStringLiteral("https://match.example/api")));
    ASSERT_TRUE(review(0));
    EXPECT_EQ(review(0)->origin, SlideMappingReview::Origin::cloudAI);
    EXPECT_EQ(review(0)->suggestedSlide, 3);
    EXPECT_FALSE(review(0)->requiresReview);
    EXPECT_TRUE(review(1)->requiresReview);
    EXPECT_TRUE(review(2)->requiresReview);
}

TEST_F(CoordinatorCloudTest, AReplyForAProjectLeftMeanwhileIsDropped)
{
    app().runCloudAIMapping();
    const QUuid first = app().script().activeProjectID();
    app().script().createProject(QStringLiteral("另一个"));
    settle();
    app().script().selectProject(first);
    EXPECT_NE(review(0)->origin, SlideMappingReview::Origin::cloudAI);
    EXPECT_EQ(session->requests.size(), 1u);
}

TEST_F(CoordinatorCloudTest, NothingRunsWithoutADeckSectionsOrWhileTheOutputIsOn)
{
    app().script().deleteTimeline();
    app().runCloudAIMapping();
    EXPECT_TRUE(session->requests.empty());

    goLive();
    app().script().replaceText(QStringLiteral("1\na"));
    app().runCloudAIMapping();
    app().showCloudAISettings();
    EXPECT_TRUE(session->requests.empty());
    EXPECT_FALSE(app().cloudSettingsWindow());
}

TEST_F(CoordinatorCloudTest, MappingWindowStaysClosedAndTheSettingsWindowIsMadeOnce)
{
    app().showSlideMappings();
    EXPECT_FALSE(app().slideMapping());
    app().showCloudAISettings();
    auto* first = app().cloudSettingsWindow();
    ASSERT_TRUE(first);
    app().showCloudAISettings();
    EXPECT_EQ(app().cloudSettingsWindow(), first);
    const auto registered = app().windows().registeredWindows();
    EXPECT_NE(std::find(registered.begin(), registered.end(), first->window()), registered.end());
}

} // namespace
