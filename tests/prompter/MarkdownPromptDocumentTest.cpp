#include "prompter/MarkdownPromptDocument.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <random>

using namespace quorvia;

namespace {

using Style = MarkdownPromptStyle;

struct Example {
    QString raw;
    QString display;
    std::vector<MarkdownPromptSpan> spans;
    std::vector<int> boundaries;
};

const Style heading1 = Style::heading(1);

} // namespace

TEST(MarkdownPromptDocumentTest, WorkedExamplesGiveTextSpansAndBoundaries)
{
    const std::vector<Example> examples = {
        {"# Title", "Title", {{0, 5, heading1}}, {0, 3, 4, 5, 6, 7}},
        {"- **go** now", u"\u2022 go now"_qs, {{2, 2, Style::strong()}, {2, 6, Style::list()}}, {0, 1, 2, 5, 6, 9, 10, 11, 12}},
        {"x\n\n\ny", "x\ny", {}, {0, 1, 4, 5}},
        {"a_b_c", "abc", {{1, 1, Style::emphasis()}}, {0, 1, 3, 5}},
        {"`a*b*`", "a*b*", {{0, 4, Style::code()}}, {0, 2, 3, 4, 6}},
        {"", "", {}, {0}},
        {"# ", "", {}, {2}},
        {"**", "", {}, {2}},
        {"``", "", {}, {2}},
        {"____", "", {}, {4}},
    };
    for (const auto& e : examples) {
        SCOPED_TRACE(e.raw.toStdString());
        const auto doc = MarkdownPromptDocument::render(e.raw);
        EXPECT_EQ(doc.string(), e.display);
        EXPECT_EQ(doc.spans(), e.spans);
        EXPECT_EQ(doc.rawBoundaries(), e.boundaries);
    }
}

TEST(MarkdownPromptDocumentTest, UnmatchedOrMisplacedMarkersShowAsWritten)
{
    const std::vector<std::pair<QString, QString>> plain = {
        {"#x", "#x"}, {"####### x", "####### x"}, {"-x", "-x"}, {">x", ">x"}, {"#", "#"}, {">", ">"},
        {"*abc", "*abc"}, {"a`b", "a`b"}, {" - x", " - x"}, {"1. x", "1. x"},
    };
    for (const auto& [raw, display] : plain) {
        SCOPED_TRACE(raw.toStdString());
        const auto doc = MarkdownPromptDocument::render(raw);
        EXPECT_EQ(doc.string(), display);
        EXPECT_TRUE(doc.spans().empty());
    }
}

TEST(MarkdownPromptDocumentTest, DelimitersPairWithTheFirstMatchToTheRight)
{
    struct Case {
        QString raw;
        QString display;
        std::vector<MarkdownPromptSpan> spans;
    };
    const std::vector<Case> cases = {
        {"**abc", "abc", {}},
        {"2 * 3 * 4", "2  3  4", {{2, 3, Style::emphasis()}}},
        {"snake_case_name", "snakecasename", {{5, 4, Style::emphasis()}}},
        {"**c *d***", "c *d*", {{0, 4, Style::strong()}}},
        {"`**x**`", "**x**", {{0, 5, Style::code()}}},
        {"*a_b*", "a_b", {{0, 3, Style::emphasis()}}},
        {"# a **b** `c`", "a b c", {{2, 1, Style::strong()}, {4, 1, Style::code()}, {0, 5, heading1}}},
        {"###### six", "six", {{0, 3, Style::heading(6)}}},
        {"> *q*", u"\u258C q"_qs, {{2, 1, Style::emphasis()}, {2, 1, Style::quote()}}},
        {"+ ", u"\u2022 "_qs, {}},
        // No escapes: the backslashes stay and the stars still pair.
        {"\\*x\\*", "\\x\\", {{1, 2, Style::emphasis()}}},
        {"**a *b* c**", "a b c", {{2, 1, Style::emphasis()}, {0, 5, Style::strong()}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw.toStdString());
        const auto doc = MarkdownPromptDocument::render(c.raw);
        EXPECT_EQ(doc.string(), c.display);
        EXPECT_EQ(doc.spans(), c.spans);
    }
}

TEST(MarkdownPromptDocumentTest, LineBreakRunsBecomeOneLineFeedAndMarkupNeverCrossesThem)
{
    // "\r\n" is one character cluster; it still breaks the line.
    const auto crlf = MarkdownPromptDocument::render("*a\r\nb*\r\n\r\n# c");
    EXPECT_EQ(crlf.string(), "*a\nb*\nc");
    EXPECT_EQ(crlf.spans(), (std::vector<MarkdownPromptSpan>{{6, 1, heading1}}));
    EXPECT_EQ(crlf.rawOffset(3), 4);
    EXPECT_EQ(crlf.rawOffset(6), 10);

    // Each "**" finds no partner on its own line and closes an empty emphasis.
    const auto cr = MarkdownPromptDocument::render("**a\rb**");
    EXPECT_EQ(cr.string(), "a\nb");
    EXPECT_TRUE(cr.spans().empty());

    const auto edges = MarkdownPromptDocument::render("\n\nx\n");
    EXPECT_EQ(edges.string(), "\nx\n");
    EXPECT_EQ(edges.rawBoundaries(), (std::vector<int>{0, 2, 3, 4}));
}

TEST(MarkdownPromptDocumentTest, OffsetConversionsClampAndSkipDroppedMarkup)
{
    const auto title = MarkdownPromptDocument::render("# Title");
    const std::vector<int> expected = {0, 0, 0, 1, 2, 3, 4, 5};
    for (int raw = 0; raw <= 7; ++raw)
        EXPECT_EQ(title.renderedOffset(raw), expected[raw]) << raw;
    EXPECT_EQ(title.rawOffset(0), 0);
    EXPECT_EQ(title.rawOffset(1), 3);
    EXPECT_EQ(title.renderedOffset(-5), 0);
    EXPECT_EQ(title.renderedOffset(99), 5);
    EXPECT_EQ(title.rawOffset(-1), 0);
    EXPECT_EQ(title.rawOffset(99), 7);

    const auto list = MarkdownPromptDocument::render("- **go** now");
    for (int raw : {2, 3, 4})
        EXPECT_EQ(list.renderedOffset(raw), 2) << raw;

    const auto empty = MarkdownPromptDocument::render("# ");
    EXPECT_EQ(empty.renderedOffset(0), 0);
    EXPECT_EQ(empty.renderedOffset(2), 0);
    EXPECT_EQ(empty.rawOffset(0), 2);
}

TEST(MarkdownPromptDocumentTest, RawOffsetAfterTheLastShownCharacterMapsToTheEnd)
{
    // Trailing markup stretches the last boundary; having said "go" must still
    // mean both characters are behind the spoken position.
    const auto doc = MarkdownPromptDocument::render("**go**");
    EXPECT_EQ(doc.rawBoundaries(), (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(doc.renderedOffset(3), 1);
    EXPECT_EQ(doc.renderedOffset(4), 2);
    EXPECT_EQ(doc.renderedOffset(5), 2);
    EXPECT_EQ(doc.renderedOffset(6), 2);
}

TEST(MarkdownPromptDocumentTest, CombiningMarksAndEmojiAreSingleCharacters)
{
    // An underscore carrying a combining mark is not a delimiter.
    const QString marked = u"a_\u0301b_c"_qs;
    const auto doc = MarkdownPromptDocument::render(marked);
    EXPECT_EQ(doc.string(), marked);
    EXPECT_TRUE(doc.spans().empty());

    const QString family = u"**\U0001F468\u200D\U0001F469\u200D\U0001F467**"_qs;
    const auto emoji = MarkdownPromptDocument::render(family);
    EXPECT_EQ(emoji.string(), family.mid(2, family.size() - 4));
    ASSERT_EQ(emoji.spans().size(), 1u);
    EXPECT_EQ(emoji.spans()[0].length, family.size() - 4);
    // Each display unit of a kept character maps to its own raw unit.
    EXPECT_EQ(emoji.rawOffset(1), 3);
}

namespace {

QString randomText(std::mt19937& rng)
{
    static const QStringList pieces = {
        "#", "# ", "## ", "####### ", "*", "**", "_", "__", "`", "> ", "- ", "+ ", "* ", " ", "\n", "\r", "\r\n",
        u"演讲"_qs, u"稿件"_qs, "a", "b", u"e\u0301"_qs, u"_\u0301"_qs, u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_qs,
        u"\U0001F44D\U0001F3FD"_qs, u"\u3002"_qs,
    };
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pieces.size()) - 1);
    QString text;
    const int n = length(rng);
    for (int i = 0; i < n; ++i)
        text += pieces[pick(rng)];
    return text;
}

bool onlyMarkup(const QString& s)
{
    for (QChar c : s)
        if (!QStringLiteral("#*_`>-+ \r\n").contains(c))
            return false;
    return true;
}

} // namespace

TEST(MarkdownPromptDocumentTest, RandomTextsKeepTheBoundaryAndSpanInvariants)
{
    std::mt19937 rng(20261207);
    for (int run = 0; run < 3000; ++run) {
        const QString raw = randomText(rng);
        SCOPED_TRACE(raw.toStdString());
        const auto doc = MarkdownPromptDocument::render(raw);
        const int length = static_cast<int>(doc.string().size());
        const auto& b = doc.rawBoundaries();

        ASSERT_EQ(static_cast<int>(b.size()), length + 1);
        ASSERT_EQ(b.back(), raw.size());
        if (length > 0) {
            ASSERT_EQ(b.front(), 0);
        }
        ASSERT_TRUE(std::is_sorted(b.begin(), b.end()));
        for (const auto& span : doc.spans()) {
            ASSERT_GT(span.length, 0);
            ASSERT_GE(span.location, 0);
            ASSERT_LE(span.end(), length);
        }
        for (int x = 0; x <= raw.size(); ++x) {
            const int rendered = doc.renderedOffset(x);
            ASSERT_GE(rendered, 0);
            ASSERT_LE(rendered, length);
            // The round trip may only cross markup, never shown text.
            const int back = doc.rawOffset(rendered);
            const QString crossed = back <= x ? raw.mid(back, x - back) : raw.mid(x, back - x);
            ASSERT_TRUE(onlyMarkup(crossed)) << "x " << x << " back " << back;
        }
        for (int d = 0; d < length; ++d)
            ASSERT_LE(doc.renderedOffset(doc.rawOffset(d)), d + 1);
    }
}
