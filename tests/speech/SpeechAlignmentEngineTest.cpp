#include "speech/SpeechAlignmentEngine.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kSection = "大家好，今天我们来讨论一下产品的发布计划。首先是市场分析，然后是技术路线。";

SpeechAlignmentResult align(const QString& speech, const QString& section, int previous)
{
    return SpeechAlignmentEngine::align(speech, section, previous);
}

// Unkept padding of `count` UTF-16 units, then the phrase, then one more kept
// character so the candidate lands exactly `count + phrase length` units in.
QString paddedSection(int count, const QString& phrase)
{
    return QString(count, QChar(u'，')) + phrase + u("尾");
}

} // namespace

TEST(SpeechAlignment, ExampleSectionPlacesSpeechAfterPassedPunctuation)
{
    EXPECT_EQ(align(u("大家好今天我们来讨论"), u(kSection), 0), (SpeechAlignmentResult{11, 1.0, 10, false}));
    EXPECT_EQ(align(u("首先是市场分析"), u(kSection), 0), (SpeechAlignmentResult{29, 1.0, 7, false}));
    // Speaking up to the last character reaches the end of the text.
    EXPECT_EQ(align(u("然后是技术路线"), u(kSection), 29).progressUTF16, u(kSection).size());
}

TEST(SpeechAlignment, RepeatedPhraseKeepsEarlierPlaceUntilTheLaterOneIsClear)
{
    const QString section = u("我们来讨论产品，然后我们来讨论市场。");
    EXPECT_EQ(align(u("我们来讨论"), section, 8), (SpeechAlignmentResult{8, 1.0, 5, false}));
    EXPECT_EQ(align(u("然后我们来讨论"), section, 8), (SpeechAlignmentResult{15, 1.0, 7, false}));
}

TEST(SpeechAlignment, NeverMovesBackward)
{
    // Repeating an earlier sentence inside the look-back window keeps the position.
    const auto result = align(u("今天我们来讨论"), u(kSection), 21);
    EXPECT_EQ(result, (SpeechAlignmentResult{21, 1.0, 7, false}));
}

TEST(SpeechAlignment, DegenerateInputKeepsThePosition)
{
    EXPECT_EQ(align(u("嗯，啊"), u(kSection), 5), (SpeechAlignmentResult{5, 0.0, 0, false}));
    EXPECT_EQ(align(u("大家好"), u("，。！ \n\t……"), 3), (SpeechAlignmentResult{3, 0.0, 0, false}));
    EXPECT_EQ(align(u("大家好"), QString(), 0), (SpeechAlignmentResult{0, 0.0, 0, false}));
    EXPECT_EQ(align(u("甲乙丙丁"), u(kSection), 4), (SpeechAlignmentResult{4, 0.0, 0, false}));
}

TEST(SpeechAlignment, ShortJumpRuleHoldsUpTo240Units)
{
    const QString phrase = u("天地玄黄宇");
    // 5 matched characters satisfy the short rule only.
    const auto at240 = align(phrase, paddedSection(235, phrase), 0);
    EXPECT_EQ(at240, (SpeechAlignmentResult{240, 1.0, 5, true}));
    const auto at241 = align(phrase, paddedSection(236, phrase), 0);
    EXPECT_EQ(at241, (SpeechAlignmentResult{0, 1.0, 5, false}));
}

TEST(SpeechAlignment, LongJumpNeedsEightMatchesAndHighConfidence)
{
    const QString seven = u("天地玄黄宇宙洪");
    EXPECT_EQ(align(seven, paddedSection(241 - 7, seven), 0), (SpeechAlignmentResult{0, 1.0, 7, false}));
    const QString eight = u("天地玄黄宇宙洪荒");
    EXPECT_EQ(align(eight, paddedSection(241 - 8, eight), 0), (SpeechAlignmentResult{241, 1.0, 8, true}));

    // Confidence below 0.72 refuses a long jump even with many matches:
    // 9 matches on 15 aligned steps.
    const QString section = paddedSection(300, u("天地玄黄宇宙洪荒日"));
    EXPECT_EQ(align(u("天地玄甲乙丙黄宇宙丁戊己洪荒日"), section, 0), (SpeechAlignmentResult{0, 0.6, 9, false}));
}

TEST(SpeechAlignment, JumpForwardFlagStartsAbove80Units)
{
    const QString phrase = u("天地玄黄");
    EXPECT_EQ(align(phrase, paddedSection(76, phrase), 0), (SpeechAlignmentResult{80, 1.0, 4, false}));
    EXPECT_EQ(align(phrase, paddedSection(77, phrase), 0), (SpeechAlignmentResult{81, 1.0, 4, true}));
    // Measured from the previous position, not from the start.
    EXPECT_EQ(align(phrase, paddedSection(77, phrase), 1), (SpeechAlignmentResult{81, 1.0, 4, false}));
}

TEST(SpeechAlignment, OnlyTheLast180SpokenCharactersCount)
{
    QString section;
    for (int i = 0; i < 300; ++i)
        section.append(QChar(char16_t(0x4E00 + i)));
    const QString tail = section.left(180);
    const QString earlier = section.mid(200, 60);
    const auto alone = align(tail, section, 0);
    EXPECT_EQ(alone, (SpeechAlignmentResult{180, 1.0, 180, true}));
    EXPECT_EQ(align(earlier + tail, section, 0), alone);
}

TEST(SpeechAlignment, WindowLooksAtMost419CharactersAhead)
{
    QString section;
    for (int i = 0; i < 600; ++i)
        section.append(QChar(char16_t(0x4E00 + i)));
    // Anchor at 100: the window ends before character 520.
    EXPECT_EQ(align(section.mid(505, 10), section, 100).progressUTF16, 515);
    EXPECT_EQ(align(section.mid(520, 10), section, 100), (SpeechAlignmentResult{100, 0.0, 0, false}));
}

TEST(SpeechAlignment, CaseFoldsButWidthDoesNot)
{
    const QString section = u("Hello World 演示");
    EXPECT_EQ(align(u("HELLO"), section, 0), (SpeechAlignmentResult{6, 1.0, 5, false}));
    EXPECT_EQ(align(u("ＨＥＬＬＯ"), section, 0).matchedCharacters, 0);
}

TEST(SpeechAlignment, PunctuationOnlyCountsInPositions)
{
    const QString plain = u("大家好今天我们来讨论");
    const QString punctuated = u("大家，好！今天……我们 来“讨论”");
    EXPECT_EQ(align(punctuated, u(kSection), 0), align(plain, u(kSection), 0));
    // Emoji are dropped but their surrogate pairs count as passed.
    EXPECT_EQ(align(u("大家好"), u("👍大家好👍今天"), 0).progressUTF16, 7);
}

TEST(SpeechAlignment, OffsetsStayInTheOriginalTextWhenLowerCasingChangesLength)
{
    // U+0130 lower-cases to two code units; positions must not drift.
    const QString section = u("İİİİ，大家好今天我们");
    EXPECT_EQ(align(u("大家好今天"), section, 0).progressUTF16, 10);
    EXPECT_EQ(align(u("İSTANBUL"), u("İstanbul，然后"), 0), (SpeechAlignmentResult{9, 1.0, 8, false}));
}

TEST(SpeechAlignment, CanonicallyEquivalentCharactersMatch)
{
    const QString composed = u("caf\u00e9 cr\u00e8me 之后");
    const auto result = align(u("cafe\u0301 cre\u0300me"), composed, 0);
    EXPECT_EQ(result, (SpeechAlignmentResult{11, 1.0, 9, false}));
}

TEST(SpeechAlignment, PositionIsLimitedToTheText)
{
    const QString section = u("大家好今天");
    EXPECT_EQ(align(u("大家好今天"), section, 1000).progressUTF16, 5);
}
