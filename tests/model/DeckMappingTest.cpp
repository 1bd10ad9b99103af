#include "ModelFixtures.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using quorvia::test::makeBlocks;

namespace {

using DeckMapping = test::PromptScriptTest;
using Reviews = std::vector<std::optional<SlideMappingReview>>;

PresentationDeck deckOf(qint64 slides, const QString& name = "Talk.key")
{
    PresentationDeck deck{"/d/" + name, name, 10, 1.5, {}};
    for (qint64 n = 1; n <= slides; ++n)
        deck.slides.push_back({n, ""});
    return deck;
}

SlideMappingReview cloudReview(qint64 slide, double confidence, bool review)
{
    return SlideMappingReview{slide, confidence, review, SlideMappingReview::Origin::cloudAI};
}

} // namespace

TEST_F(DeckMapping, BindingADeckRecomputesMappingsAndResetsReviews)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"4", "b"}, {"Demo", "c"}}));
    s.replaceDeck(deckOf(5));
    s.applyCloudMappingSuggestions({{0, 2, 0.5}, {2, 3, 0.9}});
    log->entries.clear();

    s.replaceDeck(deckOf(3));
    EXPECT_EQ(s.slideMappings(), (std::vector<std::optional<qint64>>{1, std::nullopt, std::nullopt}));
    EXPECT_EQ(s.slideMappingReviews(), (Reviews{SlideMappingReview::manual, std::nullopt, std::nullopt}));
    EXPECT_EQ(s.timelineBlocks()[1].label, "4");
    EXPECT_EQ(log->entries, QStringList{"PresentationDeckChanged"});
    EXPECT_EQ(stored().deck, deckOf(3));
    EXPECT_EQ(s.deckStatusText(), QStringLiteral("Talk.key · 3 页 · 已映射 1 段"));
}

TEST_F(DeckMapping, BindingWithoutSectionsAndNonFiniteTime)
{
    PromptScript& s = makeScript(std::vector<PromptTimelineBlock>{});
    PresentationDeck deck = deckOf(2);
    deck.modificationTime = std::numeric_limits<double>::infinity();
    s.replaceDeck(deck);
    EXPECT_TRUE(s.slideMappings().empty());
    EXPECT_EQ(log->entries, QStringList{"PresentationDeckChanged"});
    ASSERT_TRUE(stored().deck.has_value());
    EXPECT_EQ(stored().deck->modificationTime, 0.0);
}

TEST_F(DeckMapping, CloudSuggestionsChangeReviewsOnly)
{
    PromptScript& s = makeScript(makeBlocks({{"1", "a"}, {"2", "b"}, {"Demo", "c"}, {"4", "d"}, {"5", "e"}}));
    // Without a deck nothing changes and nothing is saved or posted.
    const int writes = env.defaults().writeCount();
    s.applyCloudMappingSuggestions({{0, 1, 0.9}});
    EXPECT_EQ(env.defaults().writeCount(), writes);
    EXPECT_EQ(s.deckStatusText(), QStringLiteral("尚未导入 .key 文稿"));

    s.replaceDeck(deckOf(6));
    const auto mappings = s.slideMappings();
    log->entries.clear();
    s.applyCloudMappingSuggestions({{0, 3, 0.9}, {0, 5, 0.8}, {1, 4, 1.4}, {2, 2, -0.2}, {3, 1, 0.72}, {4, 6, 0.7199},
                                    {7, 1, 0.9}, {1, 0, 0.9}, {1, 7, 0.9}});
    EXPECT_EQ(s.slideMappingReviews(), (Reviews{cloudReview(5, 0.8, false), cloudReview(4, 1.0, false), cloudReview(2, 0.0, true),
                                                cloudReview(1, 0.72, false), cloudReview(6, 0.7199, true)}));
    EXPECT_EQ(s.slideMappings(), mappings);
    EXPECT_EQ(log->entries, QStringList{"PresentationDeckChanged"});
    EXPECT_EQ(stored().slideMappingReviews, s.slideMappingReviews());

    // Nothing accepted still saves and posts.
    s.applyCloudMappingSuggestions({{9, 1, 0.9}});
    EXPECT_EQ(log->entries.size(), 2);

    // An unknown confidence asks for review instead of reaching the store as NaN.
    s.applyCloudMappingSuggestions({{0, 1, std::numeric_limits<double>::quiet_NaN()}});
    EXPECT_EQ(s.slideMappingReview(0), cloudReview(1, 0.0, true));
    EXPECT_EQ(stored().slideMappingReviews, s.slideMappingReviews());

    s.replaceDeck(deckOf(0));
    s.applyCloudMappingSuggestions({{0, 1, 0.9}});
    EXPECT_EQ(s.slideMappingReview(0), std::nullopt);
}

TEST_F(DeckMapping, SetSlideMappingRelabelsTheBlock)
{
    PromptScript& s = makeScript(makeBlocks({{"Demo", "a"}, {"2", "b"}}));
    s.replaceDeck(deckOf(5));
    log->entries.clear();
    s.setSlideMapping(0, std::nullopt);
    s.setSlideMapping(0, 0);
    s.setSlideMapping(5, 1);
    EXPECT_TRUE(log->entries.isEmpty());

    s.setSlideMapping(0, 3);
    EXPECT_EQ(s.timelineBlocks()[0].label, "3");
    EXPECT_EQ(s.slideNumber(0), 3);
    EXPECT_EQ(s.slideNumber(9), std::nullopt);
    EXPECT_EQ(log->entries, (QStringList{"PromptScriptChanged:manualPrompt", "PresentationDeckChanged"}));
    EXPECT_FALSE(s.canEditSlideMappings());
}
