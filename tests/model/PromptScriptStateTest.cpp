#include "ModelFixtures.h"

#include "support/TestPlatform.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace quorvia;
using quorvia::test::makeBlocks;
using quorvia::test::makeProject;

namespace {

class PromptScriptState : public ::testing::Test {
protected:
    test::TestPlatform env;
    test::MemoryDefaults& defaults = env.defaults();
};

} // namespace

TEST_F(PromptScriptState, EmptyStoreGivesTheDefaultProjectSilently)
{
    test::ModelNotificationLog log;
    PromptScript script(defaults);
    EXPECT_TRUE(log.entries.isEmpty());
    EXPECT_EQ(script.activeProjectName(), QStringLiteral("默认演讲"));
    EXPECT_EQ(script.promptMode(), PromptMode::fixedScroll);
    EXPECT_FALSE(script.hasContent());
    EXPECT_EQ(script.currentIndex(), 0);
    EXPECT_EQ(defaults.string(PromptScript::legacyScriptKey), QString(""));
    const StoredState stored = test::readStoredState(defaults);
    ASSERT_EQ(stored.projects.size(), 1u);
    EXPECT_EQ(stored.activeProjectID, script.activeProjectID());
    EXPECT_EQ(stored.projects[0].timelineBlocks, std::vector<PromptTimelineBlock>{});
    EXPECT_FALSE(defaults.contains(PromptScript::unreadableProjectsKey));
}

TEST_F(PromptScriptState, LegacyTextIsMigrated)
{
    defaults.setString(PromptScript::legacyScriptKey, "2\nHello\n---\nDemo\nShow");
    PromptScript parsed(defaults);
    ASSERT_EQ(parsed.timelineBlocks().size(), 2u);
    EXPECT_EQ(parsed.timelineBlocks()[1].label, "Demo");

    test::TestPlatform other;
    other.defaults().setString(PromptScript::legacyScriptKey, "One\n\nTwo\n\nThree");
    PromptScript paragraphs(other.defaults());
    EXPECT_EQ(paragraphs.sections(), (QStringList{"One", "Two", "Three"}));
    EXPECT_EQ(paragraphs.timelineBlocks()[2].label, "3");
}

TEST_F(PromptScriptState, EmptyProjectListCountsAsAbsent)
{
    defaults.setData(PromptScript::projectsKey, R"({"activeProjectID":"11111111-2222-3333-4444-555555555555","projects":[]})");
    defaults.setString(PromptScript::legacyScriptKey, "Legacy");
    PromptScript script(defaults);
    EXPECT_EQ(script.sections(), QStringList{"Legacy"});
    EXPECT_FALSE(defaults.contains(PromptScript::unreadableProjectsKey));
}

TEST_F(PromptScriptState, UnreadableProjectsAreKeptAsideNotLost)
{
    StoredProject p = makeProject("Talk", makeBlocks({{"1", "a"}}));
    test::storeProjects(defaults, {p});
    QJsonObject broken = QJsonDocument::fromJson(*defaults.data(PromptScript::projectsKey)).object();
    QJsonArray projects = broken.value("projects").toArray();
    QJsonObject record = projects[0].toObject();
    record.remove("currentIndex");
    projects[0] = record;
    broken.insert("projects", projects);
    const QByteArray unreadable = QJsonDocument(broken).toJson(QJsonDocument::Compact);
    defaults.setData(PromptScript::projectsKey, unreadable);
    defaults.setString(PromptScript::legacyScriptKey, "Legacy");

    {
        PromptScript script(defaults);
        EXPECT_EQ(script.activeProjectName(), QStringLiteral("默认演讲"));
        EXPECT_EQ(script.sections(), QStringList{"Legacy"});
    }
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey), unreadable);

    // A later unreadable value goes beside the first copy, never over it; the same bytes are kept once.
    defaults.setData(PromptScript::projectsKey, "not json");
    { PromptScript script(defaults); }
    defaults.setData(PromptScript::projectsKey, "not json");
    { PromptScript script(defaults); }
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey), unreadable);
    EXPECT_EQ(defaults.data(PromptScript::unreadableProjectsKey + ".2"), QByteArray("not json"));
    EXPECT_FALSE(defaults.contains(PromptScript::unreadableProjectsKey + ".3"));
}

TEST_F(PromptScriptState, UnknownActiveIdFallsBackToTheFirstProject)
{
    StoredProject a = makeProject("A", makeBlocks({{"1", "a"}}));
    StoredProject b = makeProject("B", makeBlocks({{"1", "b"}}));
    test::storeProjects(defaults, {a, b}, QUuid::createUuid());
    PromptScript script(defaults);
    EXPECT_EQ(script.activeProjectID(), a.id);
    EXPECT_EQ(test::readStoredState(defaults).activeProjectID, a.id);
}

TEST_F(PromptScriptState, CurrentIndexIsClamped)
{
    for (auto [stored, expected] : {std::pair<qint64, qint64>{99, 2}, {-4, 0}}) {
        test::TestPlatform local;
        StoredProject p = makeProject("A", makeBlocks({{"1", "a"}, {"2", "b"}, {"3", "c"}}));
        p.currentIndex = stored;
        test::storeProjects(local.defaults(), {p});
        PromptScript script(local.defaults());
        EXPECT_EQ(script.currentIndex(), expected);
        EXPECT_EQ(test::readStoredState(local.defaults()).projects[0].currentIndex, expected);
    }
    StoredProject empty = makeProject("E", {});
    empty.currentIndex = 5;
    test::storeProjects(defaults, {empty});
    EXPECT_EQ(PromptScript(defaults).currentIndex(), 0);
}

TEST_F(PromptScriptState, MappingsFollowLabelsNotStoredMappings)
{
    StoredProject p = makeProject("A", makeBlocks({{"1", "a"}, {"Intro", "b"}, {"3", "c"}}));
    p.slideMappings = std::vector<std::optional<qint64>>{7, 8};
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).slideMappings(), (std::vector<std::optional<qint64>>{1, std::nullopt, 3}));

    p.deck = PresentationDeck{"/t.key", "t.key", 1, 1, {{1, ""}, {2, ""}}};
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).slideMappings(), (std::vector<std::optional<qint64>>{1, std::nullopt, std::nullopt}));
}

TEST_F(PromptScriptState, ReviewsAreMergedWithTheLabels)
{
    const SlideMappingReview cloud{3, 0.9, false, SlideMappingReview::Origin::cloudAI};
    StoredProject p = makeProject("A", makeBlocks({{"1", "a"}, {"Intro", "b"}, {"3", "c"}}));
    p.slideMappingReviews = std::vector<std::optional<SlideMappingReview>>{cloud, cloud};
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).slideMappingReviews(),
              (std::vector<std::optional<SlideMappingReview>>{SlideMappingReview::manual, std::nullopt, SlideMappingReview::manual}));

    p.slideMappingReviews = std::vector<std::optional<SlideMappingReview>>{std::nullopt, cloud, std::nullopt};
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).slideMappingReviews(),
              (std::vector<std::optional<SlideMappingReview>>{SlideMappingReview::manual, cloud, SlideMappingReview::manual}));

    // A suggestion beyond the deck loses its slide and asks for review.
    const SlideMappingReview beyond{5, 0.8, false, SlideMappingReview::Origin::cloudAI};
    p.slideMappingReviews = std::vector<std::optional<SlideMappingReview>>{beyond, beyond, beyond};
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).slideMappingReviews()[1], beyond);
    p.deck = PresentationDeck{"/t.key", "t.key", 1, 1, {{1, ""}, {2, ""}, {3, ""}}};
    test::storeProjects(defaults, {p});
    const SlideMappingReview cleared{std::nullopt, 0.8, true, SlideMappingReview::Origin::cloudAI};
    EXPECT_EQ(PromptScript(defaults).slideMappingReviews()[1], cleared);
    p.deck->slides.clear();
    p.slideMappingReviews = std::vector<std::optional<SlideMappingReview>>{cloud, cloud, cloud};
    test::storeProjects(defaults, {p});
    const SlideMappingReview noSlides{std::nullopt, 0.9, true, SlideMappingReview::Origin::cloudAI};
    EXPECT_EQ(PromptScript(defaults).slideMappingReviews(), (std::vector<std::optional<SlideMappingReview>>{noSlides, noSlides, noSlides}));
}

TEST_F(PromptScriptState, ProgressIsNormalisedAndWrittenBack)
{
    StoredProject p = makeProject("A", makeBlocks({{"1", "a"}, {"2", "b"}, {"3", "c"}}));
    p.completedSections = std::vector<qint64>{0, 5, -1, 0};
    p.speechProgress = std::vector<qint64>{40, 12};
    p.readingCharacterIndex = 1000;
    test::storeProjects(defaults, {p});
    PromptScript script(defaults);
    EXPECT_EQ(script.completedSections(), std::set<qint64>{0});
    EXPECT_EQ(script.speechProgress(), (std::vector<qint64>{0, 0, 0}));
    EXPECT_EQ(script.readingCharacterIndex(), p.rawText.size());
    const StoredProject written = test::readStoredState(defaults).projects[0];
    EXPECT_EQ(written.completedSections, std::vector<qint64>{0});
    EXPECT_EQ(written.speechProgress, (std::vector<qint64>{0, 0, 0}));
}

TEST_F(PromptScriptState, ReadingPositionBoundedByTheStoredTextInCodeUnits)
{
    StoredProject p;
    p.id = QUuid::createUuid();
    p.name = "Old";
    p.rawText = QStringLiteral("讲😀");
    p.readingCharacterIndex = 9;
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).readingCharacterIndex(), 3);
    p.readingCharacterIndex = -2;
    test::storeProjects(defaults, {p});
    EXPECT_EQ(PromptScript(defaults).readingCharacterIndex(), 0);
}

TEST_F(PromptScriptState, BlocksWinOverStaleTextAndOldRecordsMigrate)
{
    StoredProject withBlocks = makeProject("A", makeBlocks({{"1", "a"}, {"Demo", "b"}}));
    withBlocks.rawText = "stale";
    StoredProject old;
    old.id = QUuid::createUuid();
    old.name = "Old";
    old.rawText = "P1\n\nP2";
    test::storeProjects(defaults, {withBlocks, old});
    {
        PromptScript script(defaults);
        EXPECT_EQ(script.rawText(), "1\na\n---\nDemo\nb");
        EXPECT_EQ(defaults.string(PromptScript::legacyScriptKey), "1\na\n---\nDemo\nb");
        EXPECT_EQ(script.promptMode(), PromptMode::fixedScroll);
    }
    // An inactive record keeps its old form until it is made active.
    EXPECT_FALSE(test::storedProject(test::readStoredState(defaults), old.id)->timelineBlocks.has_value());

    test::storeProjects(defaults, {withBlocks, old}, old.id);
    PromptScript script(defaults);
    EXPECT_EQ(script.rawText(), "P1\n\nP2");
    EXPECT_EQ(script.sections(), (QStringList{"P1", "P2"}));
    const StoredState state = test::readStoredState(defaults);
    const StoredProject* written = test::storedProject(state, old.id);
    ASSERT_TRUE(written->timelineBlocks.has_value());
    EXPECT_EQ(written->timelineBlocks->size(), 2u);
    EXPECT_EQ(written->promptMode, PromptMode::fixedScroll);
    EXPECT_EQ(written->rawText, "P1\n\nP2");
}

TEST_F(PromptScriptState, ObserversFindTheChangeAlreadyStored)
{
    test::storeProjects(defaults, {makeProject("A", makeBlocks({{"1", "a"}, {"2", "b"}}))});
    PromptScript script(defaults);
    qint64 storedIndexSeen = -1;
    QString legacySeen;
    auto observation = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::promptScriptChanged, &script, [&](const platform::Notification&) {
            storedIndexSeen = test::readStoredState(defaults).projects[0].currentIndex;
        });
    script.moveNext(PresentationEventSource::keynoteManual);
    EXPECT_EQ(storedIndexSeen, 1);
}

TEST_F(PromptScriptState, PartialSpeechPostsWithoutSaving)
{
    test::storeProjects(defaults, {makeProject("A", makeBlocks({{"1", "abcdef"}}))});
    PromptScript script(defaults);
    test::ModelNotificationLog log(&script);
    const int writes = defaults.writeCount();
    script.setSpeechProgress(3, 0, false);
    EXPECT_EQ(log.entries, QStringList{"PromptScriptChanged:speech"});
    EXPECT_EQ(defaults.writeCount(), writes);
    EXPECT_EQ(script.spokenCharacterOffset(0), 3);
    EXPECT_EQ(test::readStoredState(defaults).projects[0].speechProgress, std::vector<qint64>{0});

    // The same value as a final result raises nothing, so it neither saves nor posts.
    script.setSpeechProgress(3, 0, true);
    EXPECT_EQ(defaults.writeCount(), writes);
    EXPECT_EQ(log.entries.size(), 1);

    script.setSpeechProgress(4, 0, true);
    EXPECT_GT(defaults.writeCount(), writes);
    EXPECT_EQ(test::readStoredState(defaults).projects[0].speechProgress, std::vector<qint64>{4});
    EXPECT_EQ(log.entries.size(), 2);
}
