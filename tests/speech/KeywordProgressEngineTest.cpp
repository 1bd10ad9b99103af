#include "speech/KeywordProgressEngine.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out.append(u(item));
    return out;
}

const char* const kSection = "大家好，今天我们来讨论一下产品的发布计划。首先是市场分析，然后是技术路线。";

} // namespace

TEST(KeywordChoice, ExampleSectionGivesItsPhrasesInOrder)
{
    EXPECT_EQ(KeywordProgressEngine::keywords(u(kSection), {}),
              list({"大家好", "今天我们来讨", "讨论一下产品", "品的发布计划", "首先是市场分析", "然后是技术路线"}));
}

TEST(KeywordChoice, ExcludedPhrasesDropUnlessNothingRemains)
{
    EXPECT_EQ(KeywordProgressEngine::keywords(u(kSection), list({"首先是市场分析。"})),
              list({"大家好", "今天我们来讨", "讨论一下产品", "品的发布计划", "然后是技术路线"}));
    // Containing an excluded phrase is not being one.
    EXPECT_EQ(KeywordProgressEngine::keywords(u("市场分析报告，总结"), list({"市场分析"})),
              list({"市场分析报告", "总结"}));
    // Every phrase occurs elsewhere: the section keeps all of them.
    EXPECT_EQ(KeywordProgressEngine::keywords(u("谢谢大家。提问环节"), list({"提问环节！谢谢大家"})),
              list({"谢谢大家", "提问环节"}));
}

TEST(KeywordChoice, DuplicatesSkippedAndAtMostSix)
{
    EXPECT_EQ(KeywordProgressEngine::keywords(u("好的，好的。甲乙，丙丁，戊己，庚辛，壬癸，子丑，寅卯"), {}),
              list({"好的", "甲乙", "丙丁", "戊己", "庚辛", "壬癸"}));
    EXPECT_TRUE(KeywordProgressEngine::keywords(u("嗯。啊！"), {}).isEmpty());
}

TEST(KeywordCandidates, SplitOnlyAtTheFourteenSeparators)
{
    EXPECT_EQ(KeywordProgressEngine::candidatePhrases(u("一二、三四 五六")), list({"一二三四五六"}));
    EXPECT_EQ(KeywordProgressEngine::candidatePhrases(u("甲乙,丙丁.戊己!庚辛?壬癸;子丑:寅卯\n辰巳\t午未；申酉：戌亥")),
              list({"甲乙", "丙丁", "戊己", "庚辛", "壬癸", "子丑", "寅卯", "辰巳", "午未", "申酉", "戌亥"}));
    // Carriage returns, quotes and brackets do not split.
    EXPECT_EQ(KeywordProgressEngine::candidatePhrases(u("甲乙\r丙「丁」")), list({"甲乙丙丁"}));
    // Adjacent separators and one-character pieces yield nothing.
    EXPECT_EQ(KeywordProgressEngine::candidatePhrases(u("，，甲，。乙丙")), list({"乙丙"}));
}

TEST(KeywordCandidates, LongPiecesBecomeOverlappingWindows)
{
    const QString alphabet = u("零一二三四五六七八九十百千万亿兆京垓");
    const auto windows = [&](int n) { return KeywordProgressEngine::candidatePhrases(alphabet.left(n)); };
    EXPECT_EQ(windows(8), QStringList{alphabet.left(8)});
    const auto layout = [&](std::initializer_list<std::pair<int, int>> spans) {
        QStringList out;
        for (auto [start, length] : spans)
            out.append(alphabet.mid(start, length));
        return out;
    };
    EXPECT_EQ(windows(9), layout({{0, 5}, {3, 5}, {6, 3}}));
    EXPECT_EQ(windows(10), layout({{0, 5}, {3, 5}, {6, 4}}));
    EXPECT_EQ(windows(11), layout({{0, 5}, {3, 5}, {6, 5}, {9, 2}}));
    EXPECT_EQ(windows(12), layout({{0, 6}, {4, 6}, {8, 4}}));
    EXPECT_EQ(windows(14), layout({{0, 6}, {4, 6}, {8, 6}, {12, 2}}));
    EXPECT_EQ(windows(15), layout({{0, 6}, {5, 6}, {10, 5}}));
}

TEST(KeywordCandidates, CompactFormLowerCasesAndDropsSpaces)
{
    EXPECT_EQ(KeywordProgressEngine::candidatePhrases(u("Demo 演示")), list({"demo演示"}));
    // Windows count whole characters, even those of several code units.
    const auto windows = KeywordProgressEngine::candidatePhrases(u("👍𠀀𠀁𠀂𠀃𠀄𠀅𠀆𠀇𠀈"));
    ASSERT_EQ(windows.size(), 3);
    EXPECT_EQ(windows[0], u("𠀀𠀁𠀂𠀃𠀄"));
    EXPECT_EQ(windows[2], u("𠀆𠀇𠀈"));
}

TEST(KeywordScoring, MatchesContiguousCompactRuns)
{
    const QStringList keywords = KeywordProgressEngine::keywords(u(kSection), {});
    EXPECT_EQ(KeywordProgressEngine::evaluate(u("今天讨论产品发布计划"), keywords).matchedCount, 0);
    const auto said = KeywordProgressEngine::evaluate(u("大家好！今天，我们来讨论一下产品"), keywords);
    EXPECT_EQ(said.matchedCount, 3);
    EXPECT_EQ(KeywordProgressEngine::evaluate(u("DEMO演示"), list({"Demo 演示", "其他"})).matchedCount, 1);
    // Saying a keyword twice counts once.
    EXPECT_EQ(KeywordProgressEngine::evaluate(u("大家好大家好"), keywords).matchedCount, 1);
}

TEST(KeywordScoring, CanonicalEquivalenceOnWholeCharacters)
{
    EXPECT_EQ(KeywordProgressEngine::evaluate(u("un cafe\u0301 noir"), list({"caf\u00e9", "noir"})).matchedCount, 2);
    // "ae" is not said when the speech has "a" followed by "e" with an accent.
    EXPECT_EQ(KeywordProgressEngine::evaluate(u("cae\u0301"), list({"ae", "xy"})).matchedCount, 0);
}

TEST(KeywordScoring, RequiredCountAndCoverageDecideCompletion)
{
    const QStringList four = list({"甲乙", "丙丁", "戊己", "庚辛"});
    const auto threeOfFour = KeywordProgressEngine::evaluate(u("甲乙丙丁戊己"), four);
    EXPECT_EQ(threeOfFour, (quorvia::KeywordEvaluation{0.75, 3, 2}));
    EXPECT_FALSE(threeOfFour.isComplete());
    EXPECT_TRUE(KeywordProgressEngine::evaluate(u("庚辛戊己丙丁甲乙"), four).isComplete());

    const QStringList five = list({"甲乙", "丙丁", "戊己", "庚辛", "壬癸"});
    const auto fourOfFive = KeywordProgressEngine::evaluate(u("甲乙丙丁戊己庚辛"), five);
    EXPECT_EQ(fourOfFive, (quorvia::KeywordEvaluation{0.8, 4, 3}));
    EXPECT_TRUE(fourOfFive.isComplete());

    const QStringList six = list({"甲乙", "丙丁", "戊己", "庚辛", "壬癸", "子丑"});
    EXPECT_FALSE(KeywordProgressEngine::evaluate(u("甲乙丙丁戊己庚辛"), six).isComplete());
    EXPECT_TRUE(KeywordProgressEngine::evaluate(u("甲乙丙丁戊己庚辛壬癸"), six).isComplete());

    // One keyword needs two matches, so it never completes.
    const auto one = KeywordProgressEngine::evaluate(u("甲乙"), list({"甲乙"}));
    EXPECT_EQ(one, (quorvia::KeywordEvaluation{1.0, 1, 2}));
    EXPECT_FALSE(one.isComplete());
    const auto none = KeywordProgressEngine::evaluate(u("甲乙"), {});
    EXPECT_EQ(none, (quorvia::KeywordEvaluation{0.0, 0, 1}));
    EXPECT_FALSE(none.isComplete());
}

TEST(KeywordScoring, EmptyKeywordIsNeverSaid)
{
    EXPECT_EQ(KeywordProgressEngine::evaluate(u("甲乙"), list({"，", "甲乙"})).matchedCount, 1);
}
