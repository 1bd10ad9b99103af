#include "FakeScriptLayout.h"

#include "platform/core/NotificationCenter.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

class ScriptScrollModelTest : public ::testing::Test {
protected:
    ScriptScrollModelTest()
    {
        layout.model = &model;
        model.onReachedEnd = [this] { ++reachedEnd; };
        model.onSectionChanged = [this](int index) { sectionChanges.push_back(index); };
        fontPosts = platform::NotificationCenter::defaultCenter().observe(
            ScriptScrollModel::fontSizeChangedNotification, &model, [this](const auto&) { ++fontSizePosts; });
    }

    static QString letters(int count) { return QString(count, QChar(u'x')); }

    test::TestPlatform env;
    test::FakeScriptLayout layout;
    ScriptScrollModel model{layout};
    platform::Observation fontPosts;
    int reachedEnd = 0;
    int fontSizePosts = 0;
    std::vector<int> sectionChanges;
};

} // namespace

TEST_F(ScriptScrollModelTest, ContentJoinsSectionsAndClampsHighlightAndProgress)
{
    model.setSections({"a", "b"}, 7, {-4});
    EXPECT_EQ(model.displayText(), "a\n\nb");
    EXPECT_EQ(model.sectionRanges(), (std::vector<ScriptScrollModel::Range>{{0, 1}, {3, 1}}));
    EXPECT_EQ(model.currentSectionIndex(), 1);
    EXPECT_EQ(model.spokenProgressBySection(), (std::vector<int>{0, 0}));

    model.setSections({"# Title", "- x"}, -3);
    EXPECT_EQ(model.currentSectionIndex(), 0);
    EXPECT_EQ(model.displayText(), u"Title\n\n\u2022 x"_qs);

    model.setSections({}, 2);
    EXPECT_EQ(model.displayText(), "");
    EXPECT_TRUE(model.sectionRanges().empty());
    EXPECT_TRUE(model.sectionTops().empty());
    EXPECT_EQ(model.currentSectionIndex(), 0);
    EXPECT_EQ(model.currentOffset(), 0);
    EXPECT_FALSE(model.highlightedRange());
}

TEST_F(ScriptScrollModelTest, SpokenProgressIsClampedAndShownOnlyForTheCurrentSection)
{
    model.setSections({"**ab**cd", "ef"}, 0);
    model.setSpokenProgress(99, 0);
    EXPECT_EQ(model.spokenProgressBySection()[0], 8);
    ASSERT_TRUE(model.spokenRange());
    EXPECT_EQ(model.spokenRange()->length, 4); // never past the section's text
    model.setSpokenProgress(4, 0);
    EXPECT_EQ(model.spokenRange()->length, 2);

    // Another section stores its progress without painting or tracking it.
    model.setSpokenProgress(1, 1);
    EXPECT_EQ(model.spokenProgressBySection()[1], 1);
    EXPECT_EQ(model.spokenRange()->length, 2);
    model.setSpokenProgress(1, 5);
    model.setSpokenProgress(1, -1);
    EXPECT_EQ(model.spokenProgressBySection(), (std::vector<int>{4, 1}));
}

TEST_F(ScriptScrollModelTest, AdvanceMovesByCharactersPerMinuteTimesHeightPerCharacter)
{
    layout.visible = 100;
    model.setSections({letters(520)}, 0);
    const double h = layout.documentHeight();
    const double perSecond = (260 / 60.0) * (h / 520);

    model.advance(1.0, 260);
    EXPECT_NEAR(model.currentOffset(), perSecond, 1e-9);
    for (int i = 0; i < 60; ++i)
        model.advance(1.0 / 60.0, 260);
    EXPECT_NEAR(model.currentOffset(), 2 * perSecond, 1e-9);
    EXPECT_EQ(reachedEnd, 0);

    // At the end every advance reports it.
    model.advance(1000, 800);
    EXPECT_DOUBLE_EQ(model.currentOffset(), model.maximumOffset());
    model.advance(1.0 / 60.0, 260);
    EXPECT_EQ(reachedEnd, 2);
    EXPECT_DOUBLE_EQ(model.progressFraction(), 1.0);
}

TEST_F(ScriptScrollModelTest, TextThatFitsReachesTheEndAtOnceAndEmptyTextNever)
{
    model.setSections({"short"}, 0);
    EXPECT_DOUBLE_EQ(model.progressFraction(), 1.0);
    model.advance(1.0 / 60.0, 260);
    EXPECT_EQ(reachedEnd, 1);
    EXPECT_EQ(model.currentOffset(), 0);

    model.setSections({}, 0);
    EXPECT_DOUBLE_EQ(model.progressFraction(), 0.0);
    model.advance(1.0, 260);
    model.setSections({""}, 0);
    model.advance(1.0, 260);
    EXPECT_EQ(reachedEnd, 1);
}

TEST_F(ScriptScrollModelTest, ManualScrollIsAdoptedOnlyBeyondOnePoint)
{
    layout.visible = 100;
    model.setSections({letters(2000)}, 0);
    model.advance(1.0, 600);
    const double start = model.currentOffset();

    model.scrollByUser(0.8);
    model.advance(0, 260);
    EXPECT_DOUBLE_EQ(model.currentOffset(), start);
    EXPECT_DOUBLE_EQ(model.scrolledOffset(), start);

    model.scrollByUser(1.5);
    model.advance(0, 260);
    EXPECT_DOUBLE_EQ(model.currentOffset(), start + 1.5);
}

TEST_F(ScriptScrollModelTest, SpeechTrackingEasesTowardTheSpokenLineAndSnaps)
{
    layout.visible = 100;
    model.setSections({letters(4000)}, 0);
    model.setSpokenProgress(1000, 0);
    ASSERT_TRUE(model.isTrackingSpeech());
    const double target = *model.speechTargetOffset();
    // The middle of the last spoken character's line on the reading line.
    const auto box = layout.rangeBox(999, 1);
    EXPECT_DOUBLE_EQ(target, box->top + box->height / 2 + 24 - 32);

    // Start 100 points above the target; the first step adopts that place.
    model.scrollByUser(target - 100 - model.scrolledOffset());
    env.scheduler().advance(1.0 / 30.0);
    EXPECT_NEAR(model.currentOffset(), target - 100 + 6.48, 1e-9);

    std::vector<double> steps;
    double previous = model.currentOffset();
    while (model.isTrackingSpeech() && steps.size() < 200) {
        env.scheduler().advance(1.0 / 30.0);
        steps.push_back(model.currentOffset() - previous);
        previous = model.currentOffset();
    }
    ASSERT_FALSE(model.isTrackingSpeech());
    EXPECT_DOUBLE_EQ(model.currentOffset(), target);
    EXPECT_NEAR(steps.front(), 6.48, 1e-9);
    // Below 40.5 points left, 16 percent of the rest; never under 0.8 before the snap.
    double remaining = 100 - 6.48;
    for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
        EXPECT_NEAR(steps[i], std::min(std::max(remaining * 0.16, 0.8), 6.48), 1e-9) << i;
        remaining -= steps[i];
    }
    EXPECT_LE(remaining, 0.5);
    EXPECT_EQ(model.currentSectionIndex(), 0);
}

TEST_F(ScriptScrollModelTest, SpokenOffsetZeroOrUnchangedLeavesTrackingAlone)
{
    layout.visible = 100;
    model.setSections({letters(4000)}, 0);
    model.setSpokenProgress(0, 0);
    EXPECT_FALSE(model.isTrackingSpeech());
    model.setSpokenProgress(1000, 0);
    const double target = *model.speechTargetOffset();
    env.scheduler().advance(20.0);
    EXPECT_FALSE(model.isTrackingSpeech());
    EXPECT_DOUBLE_EQ(model.currentOffset(), target);

    model.setSpokenProgress(1000, 0);
    EXPECT_FALSE(model.isTrackingSpeech());
    // A new content stops tracking.
    model.setSpokenProgress(2000, 0);
    ASSERT_TRUE(model.isTrackingSpeech());
    model.setSections({letters(10)}, 0);
    EXPECT_FALSE(model.isTrackingSpeech());
}

TEST_F(ScriptScrollModelTest, ReadingPositionRoundTripsThroughTheReadingLine)
{
    layout.visible = 100;
    model.setSections({"## " + letters(3000)}, 0);
    EXPECT_EQ(model.readingCharacterIndex(), 0);
    model.restoreReading(0);
    EXPECT_EQ(model.currentOffset(), 0);
    model.restoreReading(5000);
    EXPECT_EQ(model.currentOffset(), 0);

    model.restoreReading(403);
    // Display offset 400 starts line 20; its top sits on the reading line.
    EXPECT_DOUBLE_EQ(model.currentOffset(), 20 * layout.lineHeight() + 24 - 32);
    EXPECT_EQ(model.readingCharacterIndex(), 403);

    model.increaseFontSize();
    EXPECT_EQ(model.readingCharacterIndex(), 403);
    EXPECT_DOUBLE_EQ(model.currentOffset(), 20 * layout.lineHeight() + 24 - 32);
}

TEST_F(ScriptScrollModelTest, SectionUnderTheReadingLineBecomesCurrent)
{
    layout.visible = 100;
    model.setSections({letters(400), letters(400), letters(400)}, 0);
    const auto tops = model.sectionTops();
    ASSERT_EQ(tops.size(), 3u);
    EXPECT_EQ(tops[0], 24);
    EXPECT_DOUBLE_EQ(tops[1], 20 * layout.lineHeight() + 24);

    // Just short of the second section's top (minus 1 point) nothing changes.
    model.scrollByUser(tops[1] - 32 - 1.5);
    model.advance(0, 260);
    EXPECT_TRUE(sectionChanges.empty());
    model.scrollByUser(1.5);
    model.advance(0, 260);
    EXPECT_EQ(sectionChanges, std::vector<int>{1});
    EXPECT_EQ(model.highlightedRange()->location, 402);

    model.scrollToSection(1);
    EXPECT_EQ(sectionChanges, std::vector<int>{1});
    model.scrollToSection(2);
    EXPECT_DOUBLE_EQ(model.currentOffset(), tops[2] - 32);
    model.resetToTop();
    EXPECT_EQ(model.currentOffset(), 0);
    EXPECT_EQ(model.currentSectionIndex(), 0);
}

TEST_F(ScriptScrollModelTest, FontSizeReadsClampsStoresAndPostsOnlyOnChange)
{
    const QString key = ScriptScrollModel::fontSizeDefaultsKey;
    const std::vector<std::pair<QVariant, double>> stored = {{0.0, 18}, {50.0, 40}, {7.0, 12}, {13.0, 13}, {"big", 18}};
    for (const auto& [value, size] : stored) {
        env.defaults().setValue(key, value);
        EXPECT_EQ(ScriptScrollModel::storedFontSize(), size) << value.toString().toStdString();
    }
    env.defaults().remove(key);
    EXPECT_EQ(ScriptScrollModel::storedFontSize(), 18);

    EXPECT_EQ(model.fontSize(), 18);
    model.setFontSize(18.4);
    EXPECT_EQ(fontSizePosts, 0);
    model.setFontSize(39);
    model.increaseFontSize();
    EXPECT_EQ(model.fontSize(), 40);
    EXPECT_EQ(fontSizePosts, 2);
    EXPECT_FALSE(model.canIncreaseFontSize());
    model.increaseFontSize();
    EXPECT_EQ(fontSizePosts, 2);
    EXPECT_EQ(env.defaults().doubleValue(key), 40);

    model.setFontSize(3);
    EXPECT_EQ(model.fontSize(), 12);
    EXPECT_FALSE(model.canDecreaseFontSize());
    EXPECT_EQ(env.defaults().doubleValue(key), 12);
}

TEST_F(ScriptScrollModelTest, FontStepsAndTheBarReadWhereTheSpeakerScrolledByHand)
{
    layout.visible = 100;
    model.setSections({letters(4000)}, 0);
    model.scrollByUser(40 * layout.lineHeight());
    const auto underReadingLine = [&] { return layout.characterAt(model.scrolledOffset() + 32 - 24); };
    const int shown = underReadingLine();
    EXPECT_DOUBLE_EQ(model.progressFraction(), model.scrolledOffset() / model.maximumOffset());
    model.increaseFontSize();
    EXPECT_NEAR(underReadingLine(), shown, layout.unitsPerLine);
    model.decreaseFontSize();
    EXPECT_NEAR(underReadingLine(), shown, layout.unitsPerLine);
}

TEST_F(ScriptScrollModelTest, AHandScrollIntoTheNextSectionLeavesTheCurrentOneCurrent)
{
    layout.visible = 100;
    model.setSections({letters(400), letters(400)}, 0);
    model.scrollByUser(model.sectionTops()[1] - 32 + 5 * layout.lineHeight());
    model.increaseFontSize();
    EXPECT_EQ(model.currentSectionIndex(), 0);
    EXPECT_TRUE(sectionChanges.empty());
    // The place stays in its text, on its last line.
    EXPECT_EQ(layout.characterAt(model.scrolledOffset() + 32 - 24), 380);
}
