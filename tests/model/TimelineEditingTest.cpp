#include "ModelFixtures.h"

#include "platform/core/Uuid.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using quorvia::test::makeBlocks;

namespace {

using TimelineEditing = test::PromptScriptTest;
using Mappings = std::vector<std::optional<qint64>>;

const QStringList editNotifications{"PromptScriptChanged:manualPrompt", "PresentationDeckChanged"};
const PresentationDeck fiveSlides{"/t.key", "t.key", 1, 1, {{1, ""}, {2, ""}, {3, ""}, {4, ""}, {5, ""}}};

} // namespace

TEST_F(TimelineEditing, ReplaceTextRebuildsEverything)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "old"}, {"2", "older"}}), 1);
    s.replaceDeck(fiveSlides);
    s.setPromptMode(PromptMode::keyword);
    s.markSectionCompleted(0);
    s.setSpeechProgress(2, 1, true);
    log->entries.clear();

    s.replaceText("1\nA\n---\n2\nB\n---\n9\nC\n---\nDemo\nD");
    EXPECT_EQ(test::labelsOf(s.timelineBlocks()), (QStringList{"1", "2", "9", "Demo"}));
    // A slide block beyond the deck keeps its manual review but gets no mapping.
    EXPECT_EQ(s.slideMappings(), (Mappings{1, 2, std::nullopt, std::nullopt}));
    const auto manual = SlideMappingReview::manual;
    EXPECT_EQ(s.slideMappingReviews(), (std::vector<std::optional<SlideMappingReview>>{manual, manual, manual, std::nullopt}));
    EXPECT_EQ(s.currentIndex(), 0);
    EXPECT_TRUE(s.completedSections().empty());
    EXPECT_EQ(s.speechProgress(), (std::vector<qint64>{0, 0, 0, 0}));
    EXPECT_EQ(s.deck(), fiveSlides);
    EXPECT_EQ(s.promptMode(), PromptMode::keyword);
    EXPECT_EQ(log->entries, (QStringList{"PromptScriptChanged:system", "PresentationDeckChanged"}));
    EXPECT_EQ(env.defaults().string(PromptScript::legacyScriptKey), "1\nA\n---\n2\nB\n---\n9\nC\n---\nDemo\nD");

    s.replaceText("");
    EXPECT_FALSE(s.hasContent());
    EXPECT_TRUE(s.rawText().isEmpty());
    EXPECT_EQ(log->entries.size(), 4);
}

TEST_F(TimelineEditing, AddDemoBlockShiftsCompletedSections)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}}));
    s.markSectionCompleted(1);
    s.markSectionCompleted(3);

    const auto id = s.addDemoBlock("  Demo \n", "  show it  ", 1);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(s.timelineBlocks()[2], PromptTimelineBlock(*id, "Demo", "show it"));
    EXPECT_EQ(s.currentIndex(), 2);
    EXPECT_EQ(s.completedSections(), (std::set<qint64>{1, 4}));
    EXPECT_EQ(s.slideMappings(), (Mappings{1, 2, std::nullopt, 3, 4}));
    EXPECT_FALSE(s.slideMappingReviews()[2].has_value());
    EXPECT_EQ(log->entries, editNotifications);
}

TEST_F(TimelineEditing, AddDemoBlockRefusesAndPlaces)
{
    PromptScript& s = makeScript(std::vector<PromptTimelineBlock>{});
    ASSERT_TRUE(s.addDemoBlock("Demo", "").has_value());
    EXPECT_EQ(s.currentIndex(), 0);
    for (const char* refused : {"demo", "12", "Two words"})
        EXPECT_FALSE(s.addDemoBlock(refused, "x").has_value()) << refused;
    EXPECT_EQ(log->entries.size(), 2);

    s.addDemoBlock("Tail", "", std::numeric_limits<qint64>::max());
    s.addDemoBlock("Head", "", -5);
    s.addDemoBlock("End", "");
    EXPECT_EQ(s.rawText(), "Head\n---\nDemo\n---\nTail\n---\nEnd");
}

TEST_F(TimelineEditing, EditsKeepToTheScriptLimits)
{
    std::vector<PromptTimelineBlock> blocks;
    for (int i = 0; i < 1999; ++i)
        blocks.emplace_back(platform::newUuid(), QStringLiteral("1"), QStringLiteral("x"));
    PromptScript& s = makeScript(blocks);
    const QString full(1024 * 1024 - 4, u'y'); // with the label "Demo", exactly 1 MB

    EXPECT_FALSE(s.addDemoBlock("Demo", full + u'y'));
    const auto last = s.addDemoBlock("Demo", full);
    ASSERT_TRUE(last);
    EXPECT_EQ(s.exceededLimit(std::nullopt, "Two", ""), ScriptText::SizeLimit::blockCount);
    EXPECT_FALSE(s.addDemoBlock("Two", ""));
    EXPECT_EQ(s.timelineBlocks().size(), 2000u);

    // An edit is judged on what is kept, trimmed: one character of three bytes tips it over.
    EXPECT_EQ(s.exceededLimit(*last, " Demo ", full + u'\n'), std::nullopt);
    EXPECT_FALSE(s.updateBlock(*last, "Demo", full.chopped(1) + QChar(0x8BB2)));
    EXPECT_TRUE(s.updateBlock(*last, "Demo", full.chopped(1) + u'z'));
    EXPECT_EQ(s.timelineBlocks().back().text.back(), u'z');
}

TEST_F(TimelineEditing, UpdateBlockRelabelsAndMaps)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"Demo", "b"}, {"Other", "c"}, {"Spare", "d"}}), 2);
    const QUuid demoID = s.timelineBlocks()[1].id;
    EXPECT_TRUE(s.canUseTimelineLabel(" 1 "));
    EXPECT_FALSE(s.canUseTimelineLabel("DEMO"));
    EXPECT_TRUE(s.canUseTimelineLabel("DEMO", demoID));
    EXPECT_FALSE(s.canUseTimelineLabel("0"));
    EXPECT_TRUE(s.updateBlock(demoID, "Demo", "b"));

    // Without a deck any number maps.
    EXPECT_TRUE(s.updateBlock(s.timelineBlocks()[3].id, "7", "d"));
    EXPECT_EQ(s.slideMappings()[3], 7);
    EXPECT_EQ(s.slideMappingReviews()[3], SlideMappingReview::manual);

    s.replaceDeck(fiveSlides);
    s.markSectionCompleted(1);
    s.setReadingCharacterIndex(1);
    log->entries.clear();
    EXPECT_TRUE(s.updateBlock(demoID, " 7 ", " new text \n"));
    EXPECT_EQ(s.timelineBlocks()[1].label, "7");
    EXPECT_EQ(s.sections()[1], "new text");
    EXPECT_FALSE(s.slideMappings()[1].has_value());
    EXPECT_FALSE(s.slideMappingReviews()[1].has_value());
    EXPECT_TRUE(s.completedSections().empty());
    EXPECT_EQ(s.currentIndex(), 2);
    EXPECT_EQ(s.readingCharacterIndex(), 0);
    EXPECT_EQ(log->entries, editNotifications);

    // A numeric label is kept as typed.
    EXPECT_TRUE(s.updateBlock(demoID, "002", "t"));
    EXPECT_EQ(s.timelineBlocks()[1].label, "002");
    EXPECT_EQ(s.slideMappings()[1], 2);

    EXPECT_FALSE(s.updateBlock(demoID, "other", "t"));
    EXPECT_FALSE(s.updateBlock(QUuid::createUuid(), "5", "t"));
    EXPECT_EQ(log->entries.size(), 4);
}

TEST_F(TimelineEditing, MoveBlockCarriesStateWithTheBlocks)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "A"}, {"Demo", "B"}, {"3", "C"}, {"4", "D"}}));
    s.setIndex(1, PresentationEventSource::manualPrompt); // completes A
    s.setSpeechProgress(1, 1, false);
    log->entries.clear();

    s.moveBlock(0, 2);
    EXPECT_EQ(s.sections(), (QStringList{"B", "C", "A", "D"}));
    EXPECT_EQ(s.currentIndex(), 0);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{2});
    EXPECT_EQ(s.slideMappings(), (Mappings{std::nullopt, 3, 1, 4}));
    EXPECT_EQ(s.speechProgress(), (std::vector<qint64>{1, 0, 0, 0}));
    EXPECT_EQ(s.rawText(), "Demo\nB\n---\n3\nC\n---\n1\nA\n---\n4\nD");
    EXPECT_EQ(log->entries, editNotifications);

    s.moveBlock(3, 0);
    EXPECT_EQ(s.sections(), (QStringList{"D", "B", "C", "A"}));
    EXPECT_EQ(s.currentIndex(), 1);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{3});
    EXPECT_EQ(s.slideMappings(), (Mappings{4, std::nullopt, 3, 1}));

    for (auto [from, to] : {std::pair<qint64, qint64>{0, 0}, {-1, 1}, {0, 4}})
        s.moveBlock(from, to);
    EXPECT_EQ(log->entries.size(), 4);
}

TEST_F(TimelineEditing, DeleteTimelineKeepsTheDeck)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "A"}, {"2", "B"}}));
    s.replaceDeck(fiveSlides);
    s.deleteTimeline();
    EXPECT_FALSE(s.hasContent());
    EXPECT_EQ(s.deck(), fiveSlides);
    EXPECT_EQ(log->entries, (QStringList{"PresentationDeckChanged", "PromptScriptChanged:system", "PresentationDeckChanged"}));
    s.deleteTimeline();
    EXPECT_EQ(log->entries.size(), 3);
    EXPECT_EQ(env.defaults().string(PromptScript::legacyScriptKey), "");
}
