#include "speech/SpokenText.h"

#include "platform/core/Text.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

QList<int> walk(const QString& text)
{
    QList<int> bounds{0};
    spokentext::forEachCharacter(text, [&](int start, int length) {
        EXPECT_EQ(start, bounds.last());
        bounds.append(start + length);
    });
    return bounds;
}

} // namespace

// The shortcut over simple code units must still keep together what follows
// or precedes them: marks, jamo, joiners, prepend characters, CR LF.
TEST(SpokenText, CharacterWalkKeepsClustersThatStartOrEndWithSimpleUnits)
{
    EXPECT_EQ(walk("a\u0301中"), (QList<int>{0, 2, 3}));
    EXPECT_EQ(walk("가\u11A8가"), (QList<int>{0, 2, 3}));
    EXPECT_EQ(walk("x©\u200D👍a"), (QList<int>{0, 1, 5, 6}));
    EXPECT_EQ(walk("a\u0600中"), (QList<int>{0, 1, 3}));
    EXPECT_EQ(walk("\u0915\u093F中"), (QList<int>{0, 2, 3}));
    EXPECT_EQ(walk("中👨‍👩‍👧中"), (QList<int>{0, 1, 9, 10}));
    EXPECT_EQ(walk("\u0130中\U00020000"), (QList<int>{0, 1, 2, 4}));
    EXPECT_EQ(walk("a\r\nb"), (QList<int>{0, 1, 3, 4}));
    EXPECT_EQ(walk(""), (QList<int>{0}));
    const QString chinese = "大家好，今天我们来讨论一下产品的发布计划。";
    EXPECT_EQ(walk(chinese), platform::text::graphemeBoundaries(chinese));
}

TEST(SpokenText, FlagsPairUpAfterSimpleText)
{
    EXPECT_EQ(walk("a\r\n🇨🇳🇺🇸b"), (QList<int>{0, 1, 3, 7, 11, 12}));
}

TEST(SpokenText, KeptCharactersAreLowerCasedLettersMarksAndNumbers)
{
    EXPECT_EQ(spokentext::keptCharacters("Ab 1，²e\u0301👍"), (QStringList{"a", "b", "1", "²", "e\u0301"}));
    EXPECT_EQ(spokentext::compact("\u0130X"), QString("i\u0307x"));
    EXPECT_TRUE(spokentext::compact("，。 \n👍").isEmpty());

    spokentext::CharacterTable table;
    EXPECT_EQ(table.idOf(u"\u00e9"), table.idOf(u"e\u0301"));
    EXPECT_EQ(table.idOf(u"\u00c5"), table.idOf(u"\u212B")); // Angstrom sign is canonically Å
    EXPECT_NE(table.idOf(u"a"), table.idOf(u"\uFF41"));
    EXPECT_NE(table.idOf(u"i\u0307"), table.idOf(u"i"));
}
