#include "editing/TextSearch.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;
using text_search::Match;

TEST(TextSearch, FindsEveryOccurrenceInUtf16OffsetsIgnoringCase)
{
    const QString text = QStringLiteral("现在请大家看现场演示。Demo 之后，再看一次演示 demo。");
    EXPECT_EQ(text_search::findAll(text, QStringLiteral("演示")), (std::vector<Match>{{8, 2}, {23, 2}}));
    EXPECT_EQ(text_search::findAll(text, QStringLiteral("DEMO")), (std::vector<Match>{{11, 4}, {26, 4}}));
    // A character outside the basic plane counts two code units.
    EXPECT_EQ(text_search::findAll(QStringLiteral("😀开场😀开场"), QStringLiteral("开场")),
              (std::vector<Match>{{2, 2}, {6, 2}}));
}

TEST(TextSearch, OccurrencesDoNotOverlapAndAnEmptyOrMissingQueryFindsNothing)
{
    EXPECT_EQ(text_search::findAll(QStringLiteral("哈哈哈"), QStringLiteral("哈哈")), (std::vector<Match>{{0, 2}}));
    EXPECT_TRUE(text_search::findAll(QStringLiteral("开场"), QString()).empty());
    EXPECT_TRUE(text_search::findAll(QStringLiteral("开场"), QStringLiteral("结尾")).empty());
    EXPECT_TRUE(text_search::findAll(QString(), QStringLiteral("开")).empty());
}

TEST(TextSearch, StepsForwardAndBackWrappingAtEitherEnd)
{
    const std::vector<Match> matches{{2, 2}, {10, 2}, {20, 2}};
    // From a caret, and from a selection that is itself a match.
    EXPECT_EQ(text_search::step(matches, 0, 0, true), 0u);
    EXPECT_EQ(text_search::step(matches, 10, 12, true), 2u);
    EXPECT_EQ(text_search::step(matches, 20, 22, true), 0u);
    EXPECT_EQ(text_search::step(matches, 30, 30, true), 0u);
    EXPECT_EQ(text_search::step(matches, 10, 12, false), 0u);
    EXPECT_EQ(text_search::step(matches, 2, 4, false), 2u);
    EXPECT_EQ(text_search::step(matches, 11, 11, false), 0u);
    // One match wraps onto itself; none gives nothing.
    EXPECT_EQ(text_search::step({{5, 1}}, 5, 6, true), 0u);
    EXPECT_EQ(text_search::step({{5, 1}}, 5, 6, false), 0u);
    EXPECT_EQ(text_search::step({}, 0, 0, true), std::nullopt);
}

TEST(TextSearch, AGrowingQueryKeepsTheOccurrenceAtTheSelection)
{
    const std::vector<Match> matches{{2, 2}, {10, 2}};
    EXPECT_EQ(text_search::nearest(matches, 10), 1u);
    EXPECT_EQ(text_search::nearest(matches, 3), 1u);
    EXPECT_EQ(text_search::nearest(matches, 11), 0u);
    EXPECT_EQ(text_search::nearest({}, 0), std::nullopt);
}
