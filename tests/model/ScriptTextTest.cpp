#include "model/ScriptText.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace quorvia;

namespace {

QStringList labels(const ParsedScript& parsed)
{
    QStringList out;
    for (const auto& b : parsed.blocks)
        out.append(b.label);
    return out;
}

PromptTimelineBlock block(const QString& label, const QString& text) { return PromptTimelineBlock(QUuid::createUuid(), label, text); }

} // namespace

TEST(ScriptTextParse, WorkedExampleOfFiveChunks)
{
    const QString text = QStringLiteral("Opening words\n---\n1\nWelcome, everyone\n---\nDemo\nShow the import\n---\n02\n\nOur plan\n---\nThanks\nSee you");
    const ParsedScript parsed = ScriptText::parseScript(text);
    EXPECT_EQ(labels(parsed), (QStringList{"1", "1", "Demo", "2", "Thanks"}));
    EXPECT_EQ(parsed.sections(), (QStringList{"Opening words", "Welcome, everyone", "Show the import", "Our plan", "See you"}));
    EXPECT_EQ(parsed.blocks[2].kind(), PromptTimelineBlockKind::demo("Demo"));
    EXPECT_EQ(parsed.blocks[3].kind(), PromptTimelineBlockKind::slide(2));
    const auto mappings = parsed.explicitSlideMappings();
    ASSERT_EQ(mappings.size(), 5u);
    EXPECT_EQ(mappings[0], 1);
    EXPECT_FALSE(mappings[2].has_value());
    EXPECT_FALSE(mappings[4].has_value());
}

TEST(ScriptTextParse, TextsThatGiveNoBlocks)
{
    for (const char* text : {"", "  \n\t\n ", "---\n---", "---\n   \n---\n\n"})
        EXPECT_TRUE(ScriptText::parseScript(QString::fromUtf8(text)).blocks.empty()) << text;
}

TEST(ScriptTextParse, TextWithoutSeparatorIsOneBlockOne)
{
    const ParsedScript parsed = ScriptText::parseScript(QStringLiteral("\n3\nHello  \n"));
    ASSERT_EQ(parsed.blocks.size(), 1u);
    EXPECT_EQ(parsed.blocks[0].label, "1");
    EXPECT_EQ(parsed.blocks[0].text, "3\nHello");
}

TEST(ScriptTextParse, SeparatorLinesAllowOnlySpacesAndTabsAround)
{
    EXPECT_EQ(ScriptText::parseScript(QStringLiteral("a\n \t---  \nb")).blocks.size(), 2u);
    EXPECT_EQ(ScriptText::parseScript(QStringLiteral("a\n----\nb\n---\nc")).blocks.size(), 2u);
    // A lone carriage return after the hyphens is part of the line.
    const ParsedScript parsed = ScriptText::parseScript(QStringLiteral("a b\n---\rb\n---\nc"));
    ASSERT_EQ(parsed.blocks.size(), 2u);
    EXPECT_EQ(parsed.blocks[0].text, "a b\n---\rb");
    EXPECT_EQ(ScriptText::parseScript(QStringLiteral("a\n- - -\nb")).blocks.size(), 1u);
}

TEST(ScriptTextParse, CarriageReturnLineFeedsParseLikeLineFeeds)
{
    const ParsedScript crlf = ScriptText::parseScript(QStringLiteral("2\r\nHi\r\n---\r\nDemo\r\nGo\r\n"));
    EXPECT_EQ(labels(crlf), (QStringList{"2", "Demo"}));
    EXPECT_EQ(crlf.sections(), (QStringList{"Hi", "Go"}));
    const ParsedScript lone = ScriptText::parseScript(QStringLiteral("1\na\rb\n---\n2\n\rc\r"));
    EXPECT_EQ(lone.sections(), (QStringList{"a\rb", "c"}));
}

TEST(ScriptTextParse, LabelRules)
{
    const ParsedScript parsed = ScriptText::parseScript(QStringLiteral(
        "007\n\nHello\n---\n5\n---\nDemo\n---\nWelcome\nto the talk\n---\nWelcome everyone\nhi\n---\n0\nzero\n---\n-1\nminus"));
    EXPECT_EQ(labels(parsed), (QStringList{"7", "8", "9", "Welcome", "10", "11", "12"}));
    EXPECT_EQ(parsed.sections(),
              (QStringList{"Hello", "5", "Demo", "to the talk", "Welcome everyone\nhi", "0\nzero", "-1\nminus"}));
}

TEST(ScriptTextParse, NumberingOnRepeatsAndFollowsLabels)
{
    EXPECT_EQ(labels(ScriptText::parseScript(QStringLiteral("5\na\n---\nb\n---\n6\nc"))), (QStringList{"5", "6", "6"}));
    EXPECT_EQ(labels(ScriptText::parseScript(QStringLiteral("3\na\n---\nDemo\nb\n---\nc"))), (QStringList{"3", "Demo", "4"}));
    // A lower explicit label resets the running number.
    EXPECT_EQ(labels(ScriptText::parseScript(QStringLiteral("9\na\n---\n2\nb\n---\nc"))), (QStringList{"9", "2", "3"}));
    // A label line followed only by blank lines is a one-line chunk, numbered on.
    EXPECT_EQ(labels(ScriptText::parseScript(QStringLiteral("4\n \n---\nx"))), (QStringList{"1", "2"}));
}

TEST(ScriptTextParse, IndentationStaysExceptOnFirstLine)
{
    const ParsedScript parsed = ScriptText::parseScript(QStringLiteral("1\n   first\n  second  \n    third\n---\nx"));
    EXPECT_EQ(parsed.blocks[0].text, "first\n  second  \n    third");
}

TEST(ScriptTextParse, NumberingOnAfterTheLargestLabelSaturates)
{
    const ParsedScript parsed = ScriptText::parseScript(QStringLiteral("9223372036854775807\na\n---\nb\n---\nc"));
    EXPECT_EQ(labels(parsed), (QStringList{"9223372036854775807", "9223372036854775807", "9223372036854775807"}));
    EXPECT_EQ(parsed.sections(), (QStringList{"a", "b", "c"}));
    // One beyond the range is not a number at all.
    const ParsedScript beyond = ScriptText::parseScript(QStringLiteral("9223372036854775808\na\n---\nb"));
    EXPECT_EQ(labels(beyond), (QStringList{"1", "2"}));
    EXPECT_EQ(beyond.blocks[0].text, "9223372036854775808\na");
}

TEST(ScriptTextParse, LabelGrammar)
{
    EXPECT_TRUE(ScriptText::isValidTimelineLabel("1"));
    EXPECT_TRUE(ScriptText::isValidTimelineLabel("+7"));
    EXPECT_TRUE(ScriptText::isValidTimelineLabel("007"));
    EXPECT_TRUE(ScriptText::isValidTimelineLabel("Demo"));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel("0"));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel("-3"));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel(" 3"));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel(QStringLiteral("３")));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel(QStringLiteral("Démo")));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel("Demo1"));
    EXPECT_FALSE(ScriptText::isValidTimelineLabel(""));
}

TEST(ScriptTextBlocks, KindFollowsTheUntrimmedLabel)
{
    EXPECT_EQ(block("12", "").kind(), PromptTimelineBlockKind::slide(12));
    EXPECT_EQ(block("007", "").kind(), PromptTimelineBlockKind::slide(7));
    for (const char* label : {"0", "-3", "Intro", "", " 4"})
        EXPECT_EQ(block(label, "").kind(), PromptTimelineBlockKind::demo(label)) << label;
    EXPECT_NE(PromptTimelineBlockKind::demo("5"), PromptTimelineBlockKind::slide(5));
}

TEST(ScriptTextBlocks, JsonNeedsAllThreeKeys)
{
    const PromptTimelineBlock original = block("Demo", QStringLiteral("演示"));
    const QJsonObject json = original.toJson();
    EXPECT_EQ(json.value("id").toString(), json.value("id").toString().toUpper());
    EXPECT_EQ(PromptTimelineBlock::fromJson(json), original);
    QJsonObject extra = json;
    extra.insert("other", 1);
    EXPECT_TRUE(PromptTimelineBlock::fromJson(extra).has_value());
    for (const char* key : {"id", "label", "text"}) {
        QJsonObject missing = json;
        missing.remove(key);
        EXPECT_FALSE(PromptTimelineBlock::fromJson(missing).has_value()) << key;
    }
    QJsonObject wrongType = json;
    wrongType.insert("label", 3);
    EXPECT_FALSE(PromptTimelineBlock::fromJson(wrongType).has_value());
    QJsonObject badId = json;
    badId.insert("id", "not-a-uuid");
    EXPECT_FALSE(PromptTimelineBlock::fromJson(badId).has_value());
}

TEST(ScriptTextSerialize, JoinsBlocksAndParsesBack)
{
    const QString text = ScriptText::serialize({block("1", "A"), block("Demo", "")});
    EXPECT_EQ(text, "1\nA\n---\nDemo");
    const ParsedScript again = ScriptText::parseScript(text);
    EXPECT_EQ(labels(again), (QStringList{"1", "2"}));
    EXPECT_EQ(again.blocks[1].text, "Demo");
    EXPECT_EQ(ScriptText::serialize({}), "");
}

TEST(ScriptTextSerialize, RoundTripOfCanonicalBlocks)
{
    const std::vector<PromptTimelineBlock> blocks{block("1", "Hello\n  world"), block("Demo", "**Go**"), block("3", "Bye")};
    const ParsedScript again = ScriptText::parseScript(ScriptText::serialize(blocks));
    ASSERT_EQ(again.blocks.size(), 3u);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(again.blocks[i].label, blocks[i].label);
        EXPECT_EQ(again.blocks[i].text, blocks[i].text);
        EXPECT_NE(again.blocks[i].id, blocks[i].id);
    }
    // A single block has no separator and comes back as one block "1" holding its label line.
    const ParsedScript single = ScriptText::parseScript(ScriptText::serialize({block("4", "Text")}));
    ASSERT_EQ(single.blocks.size(), 1u);
    EXPECT_EQ(single.blocks[0].label, "1");
    EXPECT_EQ(single.blocks[0].text, "4\nText");
}

TEST(ScriptTextMigrate, ParagraphsBecomeBlocksOnlyWhenMigrated)
{
    const QString text = QStringLiteral("First paragraph\nstill first\n\nSecond\r\n\r\n\n\nThird\n \nstill third");
    const ParsedScript migrated = ScriptText::migrateStoredScript(text);
    EXPECT_EQ(labels(migrated), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(migrated.sections(), (QStringList{"First paragraph\nstill first", "Second", "Third\n \nstill third"}));
    const ParsedScript imported = ScriptText::parseScript(text);
    EXPECT_EQ(labels(imported), (QStringList{"1"}));
}

TEST(ScriptTextMigrate, WithSeparatorsItParses)
{
    const QString text = QStringLiteral("3\nA\n\nB\n---\nDemo\nC");
    const ParsedScript migrated = ScriptText::migrateStoredScript(text);
    EXPECT_EQ(labels(migrated), (QStringList{"3", "Demo"}));
    EXPECT_EQ(migrated.sections(), ScriptText::makeSections(text));
    EXPECT_TRUE(ScriptText::migrateStoredScript("").blocks.empty());
}

TEST(ScriptTextMigrate, TrimmingBlankLines)
{
    EXPECT_EQ(ScriptText::trimmingBlankLines({"", " ", "a", "", "b", "\t", ""}), (QStringList{"a", "", "b"}));
    EXPECT_TRUE(ScriptText::trimmingBlankLines({" ", "\t"}).isEmpty());
}
