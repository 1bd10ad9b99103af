#include "ModelFixtures.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using quorvia::test::makeBlocks;

using PromptScriptNavigation = test::PromptScriptTest;

TEST_F(PromptScriptNavigation, PositionAndCurrentText)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}, {"Demo", ""}, {"6", "f"}, {"7", "g"}}), 2);
    EXPECT_EQ(s.positionText(), QStringLiteral("块 3 / 7 · 3"));
    s.setIndex(4, PresentationEventSource::manualPrompt);
    EXPECT_EQ(s.currentText(), QStringLiteral("当前块 Demo 尚未填写稿件。"));
    EXPECT_EQ(s.positionText(), QStringLiteral("块 5 / 7 · Demo"));
}

TEST_F(PromptScriptNavigation, EmptyScriptOffersNothingToMove)
{
    PromptScript& s = makeScript(std::vector<PromptTimelineBlock>{});
    EXPECT_FALSE(s.canMovePrevious() || s.canMoveNext() || s.hasSlideBlocks());
    EXPECT_FALSE(s.currentBlock().has_value());
    EXPECT_EQ(s.positionText(), QStringLiteral("稿件 0 / 0"));
    EXPECT_EQ(s.currentText(), QStringLiteral("尚未导入稿件，请点击“上传稿件”选择 TXT 或 Markdown 文件。"));
    s.moveNext();
    s.movePrevious();
    s.setIndex(0);
    s.markSectionCompleted(0);
    s.setSpeechProgress(3, 0, true);
    EXPECT_TRUE(log->entries.isEmpty());
    // The reading position is bounded by the hint shown instead.
    s.setReadingCharacterIndex(10000);
    EXPECT_EQ(s.readingCharacterIndex(), s.currentText().size());
}

TEST_F(PromptScriptNavigation, StepsMarkCompletionAndResetProgress)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "0123456789"}, {"2", "b"}, {"3", "c"}}));
    s.setReadingCharacterIndex(4);
    s.setSpeechProgress(6, 0, false);
    s.moveNext();
    EXPECT_EQ(s.currentIndex(), 1);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{0});
    EXPECT_EQ(s.spokenCharacterOffset(0), 0);
    EXPECT_EQ(s.readingCharacterIndex(), 0);

    s.movePrevious(PresentationEventSource::keynoteManual);
    EXPECT_EQ(s.currentIndex(), 0);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{0});
    EXPECT_EQ(log->entries, (QStringList{"PromptScriptChanged:speech", "PromptScriptChanged:manualPrompt", "PromptScriptChanged:keynoteManual"}));
}

TEST_F(PromptScriptNavigation, LastSectionIsCompletedOnlyByMarking)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"2", "b"}}), 1);
    s.moveNext(PresentationEventSource::speech);
    EXPECT_TRUE(s.completedSections().empty());
    s.markSectionCompleted(1);
    s.markSectionCompleted(2);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{1});
    EXPECT_EQ(stored().completedSections, std::vector<qint64>{1});
    EXPECT_TRUE(log->entries.isEmpty());
}

TEST_F(PromptScriptNavigation, JumpsMarkOnlyTheSectionLeftForward)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}, {"5", "e"}, {"6", "f"}}), 2);
    s.setIndex(5, PresentationEventSource::commandEcho);
    s.setIndex(2, PresentationEventSource::manualPrompt);
    EXPECT_EQ(s.completedSections(), std::set<qint64>{2});
    s.setReadingCharacterIndex(1);
    const int writes = env.defaults().writeCount();
    for (qint64 ignored : {qint64(2), qint64(-1), qint64(6)})
        s.setIndex(ignored);
    EXPECT_EQ(env.defaults().writeCount(), writes);
    EXPECT_EQ(s.readingCharacterIndex(), 1);
    s.setIndex(3);
    EXPECT_EQ(log->entries, (QStringList{"PromptScriptChanged:commandEcho", "PromptScriptChanged:manualPrompt", "PromptScriptChanged:fixedScroll"}));
}

TEST_F(PromptScriptNavigation, SpeechProgressOnlyRisesWithinTheSection)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "五个汉字呀"}, {"2", "a😀"}}));
    s.setSpeechProgress(4, 0, false);
    s.setSpeechProgress(3, 0, true);
    EXPECT_EQ(s.spokenCharacterOffset(0), 4);
    s.setSpeechProgress(99, 0, false);
    EXPECT_EQ(s.spokenCharacterOffset(0), 5);
    s.setSpeechProgress(-3, 1, false);
    s.setSpeechProgress(99, 1, false);
    EXPECT_EQ(s.spokenCharacterOffset(1), 3);
    s.setSpeechProgress(1, 2, true);
    EXPECT_EQ(s.spokenCharacterOffset(2), 0);
    EXPECT_EQ(log->entries.size(), 3);

    // Leaving a section clears its progress; the entered one keeps its own.
    s.moveNext();
    EXPECT_EQ(s.speechProgress(), (std::vector<qint64>{0, 3}));

    s.resetAutomationProgress();
    EXPECT_EQ(s.speechProgress(), (std::vector<qint64>{0, 0}));
    EXPECT_TRUE(s.completedSections().empty());
    EXPECT_EQ(log->entries.last(), "PromptScriptChanged:recovery");
    EXPECT_EQ(stored().completedSections, std::vector<qint64>{});
}

TEST_F(PromptScriptNavigation, ModeAndReadingPositionSaveOnlyChanges)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "abcd"}}));
    s.setPromptMode(PromptMode::fixedScroll);
    EXPECT_TRUE(log->entries.isEmpty());
    s.setPromptMode(PromptMode::wordFollow);
    EXPECT_EQ(log->entries, QStringList{"PresentationModeChanged"});
    EXPECT_EQ(stored().promptMode, PromptMode::wordFollow);

    s.setReadingCharacterIndex(50);
    EXPECT_EQ(stored().readingCharacterIndex, 4);
    const int writes = env.defaults().writeCount();
    s.setReadingCharacterIndex(4);
    s.setReadingCharacterIndex(9);
    EXPECT_EQ(env.defaults().writeCount(), writes);
    EXPECT_EQ(log->entries.size(), 1);
}
