#include "platform/core/Text.h"
#include "platform/core/Uuid.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia::platform;
using namespace quorvia::platform::text;

TEST(Text, GraphemesKeepClustersWhole)
{
    const QString family = QString::fromUtf8("👨‍👩‍👧‍👦");
    const QString s = QStringLiteral("a") + family + QStringLiteral("b");
    EXPECT_EQ(graphemeCount(s), 3);
    EXPECT_EQ(graphemePrefix(s, 2), QStringLiteral("a") + family);
    EXPECT_EQ(graphemePrefix(s, 1), QStringLiteral("a"));
    EXPECT_EQ(graphemePrefix(s, 10), s);
    EXPECT_EQ(graphemePrefix(s, 0), QString());
    const QString decomposed = QString::fromUtf8("e\u0301x"); // e + combining acute
    EXPECT_EQ(graphemeCount(decomposed), 2);
    EXPECT_EQ(graphemeBoundaries(decomposed), (QList<int>{0, 2, 3}));
    EXPECT_EQ(graphemeCount(QString()), 0);
}

TEST(Text, WhitespaceSetsFollowThePlatform)
{
    EXPECT_TRUE(isWhitespace(0x00A0));
    EXPECT_TRUE(isWhitespace(0x3000));
    EXPECT_TRUE(isWhitespace(u'\t'));
    EXPECT_FALSE(isWhitespace(0x2028));
    EXPECT_FALSE(isWhitespace(u'\n'));
    EXPECT_TRUE(isWhitespaceOrNewline(0x2028));
    EXPECT_TRUE(isWhitespaceOrNewline(u'\r'));
    EXPECT_FALSE(isWhitespaceOrNewline(u'x'));
    EXPECT_EQ(trimmedWhitespace(QString::fromUtf8("\u00A0 a b\t\n")), QStringLiteral("a b\t\n"));
    EXPECT_EQ(trimmedWhitespaceAndNewlines(QString::fromUtf8("\n\u3000标题\u2029")), QString::fromUtf8("标题"));
    EXPECT_TRUE(isBlank(QString::fromUtf8(" \n\u2028")));
}

TEST(Text, ComparisonsAndEquivalence)
{
    EXPECT_TRUE(canonicallyEqual(QString::fromUtf8("Caf\u00e9"), QString::fromUtf8("Cafe\u0301")));
    EXPECT_FALSE(canonicallyEqual(QStringLiteral("Cafe"), QString::fromUtf8("Caf\u00e9")));
    EXPECT_EQ(compareCaseDiacriticInsensitive(QString::fromUtf8("Café.key"), QStringLiteral("cafe.KEY")), 0);
    EXPECT_LT(localizedStandardCompare(QStringLiteral("Proj 2"), QStringLiteral("Proj 10")), 0);
    EXPECT_GT(localizedStandardCompare(QStringLiteral("proj 10"), QStringLiteral("Proj 9")), 0);
    EXPECT_EQ(localizedStandardCompare(QStringLiteral("ABC"), QStringLiteral("abc")), 0);
    EXPECT_LT(localizedStandardCompare(QStringLiteral("a 99999999999999999999999"), QStringLiteral("a 100000000000000000000000")), 0);
    EXPECT_EQ(roundHalfAwayFromZero(2.5), 3.0);
    EXPECT_EQ(roundHalfAwayFromZero(-2.5), -3.0);
    EXPECT_EQ(roundHalfAwayFromZero(0.49), 0.0);
}

TEST(Uuid, StandardUpperCaseFormReadCaseInsensitively)
{
    const QUuid id = newUuid();
    const QString text = uuidString(id);
    EXPECT_EQ(text.size(), 36);
    EXPECT_EQ(text, text.toUpper());
    EXPECT_EQ(parseUuid(text), id);
    EXPECT_EQ(parseUuid(text.toLower()), id);
    EXPECT_FALSE(parseUuid(QStringLiteral("{") + text + QStringLiteral("}")).has_value());
    EXPECT_FALSE(parseUuid(QStringLiteral("not-a-uuid")).has_value());
}

TEST(Text, ClustersNeverSplitWhateverPrecedesThem)
{
    // CR LF after Devanagari and emoji after long runs once came apart.
    const QString s = QString::fromUtf8("देवनागरी\r\nदे 说话的人 👨‍👩‍👧 x\u0301");
    const auto bounds = graphemeBoundaries(s);
    for (int p : bounds) {
        if (p == 0 || p == s.size())
            continue;
        EXPECT_FALSE(s[p - 1].isHighSurrogate() && s[p].isLowSurrogate()) << p;
        EXPECT_FALSE(s[p - 1] == u'\r' && s[p] == u'\n') << p;
        EXPECT_NE(s[p].unicode(), 0x200D) << p;
        EXPECT_NE(s[p].category(), QChar::Mark_NonSpacing) << p;
    }
    EXPECT_TRUE(graphemes(s).contains(QStringLiteral("\r\n")));
    EXPECT_TRUE(graphemes(s).contains(QString::fromUtf8("👨‍👩‍👧")));
}

TEST(Text, FoldingAndTrimmingKeepWhatTheyDoNotConcern)
{
    // Only case and diacritics fold: full-width brackets are other characters.
    EXPECT_NE(compareCaseDiacriticInsensitive(QString::fromUtf8("讲演（导入）"), QString::fromUtf8("讲演(导入)")), 0);
    EXPECT_EQ(compareCaseDiacriticInsensitive(QString::fromUtf8("ÉCOLE"), QStringLiteral("ecole")), 0);
    // A lone surrogate is not whitespace and is kept as it is.
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("a");
    EXPECT_EQ(trimmedWhitespaceAndNewlines(QStringLiteral(" ") + lone + QStringLiteral("\n")), lone);
    EXPECT_EQ(trimmedWhitespace(QString::fromUtf8("\u3000😀\u3000")), QString::fromUtf8("😀"));
}
