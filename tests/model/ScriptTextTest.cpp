#include "ModelFixtures.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace quorvia;

namespace {

QStringList labels(const ParsedScript& parsed) { return test::labelsOf(parsed.blocks); }

PromptTimelineBlock block(const QString& label, const QString& text) { return PromptTimelineBlock(QUuid::createUuid(), label, text); }

} // namespace

TEST(ScriptTextParse, WorkedExampleOfFiveChunks)
{
    const QString text = QStringLiteral("Opening words\n---\n1\nWelcome, everyone\n---\nDemo\nShow the import\n---\n02\n\nOur plan\n---\nThanks\nSee you");
    const ParsedScript parsed = ScriptText::parseScript(text);
    EXPECT_EQ(labels(parsed), (QStringList{"1", "1", "Demo", "2", "Thanks"}));
    EXPECT_EQ(parsed.sections(), (QStringList{"Opening words", "Welcome, everyone", "Show the import", "Our plan", "See you"}));
    EXPECT_EQ(parsed.explicitSlideMappings(), (std::vector<std::optional<qint64>>{1, 1, std::nullopt, 2, std::nullopt}));
}

TEST(ScriptTextParse, ChunksGiveLabelsAndTexts)
{
    struct Case {
        const char* text;
        QStringList labels;
        QStringList sections;
    };
    const Case cases[] = {
        {"", {}, {}},
        {"  \n\t\n ", {}, {}},
        {"---\n---", {}, {}},
        {"---\n   \n---\n\n", {}, {}},
        // Without a separator line the first line is never a label.
        {"\n3\nHello  \n", {"1"}, {"3\nHello"}},
        {"a\n- - -\nb", {"1"}, {"a\n- - -\nb"}},
        // Spaces and tabs may surround a separator; four hyphens or a lone carriage return may not.
        {"a\n \t---  \nb", {"1", "2"}, {"a", "b"}},
        {"a b\n----\nc\n---\nd", {"1", "2"}, {"a b\n----\nc", "d"}},
        {"a b\n---\rb\n---\nc", {"1", "2"}, {"a b\n---\rb", "c"}},
        // CRLF reads like LF; a lone carriage return stays inside a line and is trimmed at the ends.
        {"2\r\nHi\r\n---\r\nDemo\r\nGo\r\n", {"2", "Demo"}, {"Hi", "Go"}},
        {"1\na\rb\n---\n2\n\rc\r", {"1", "2"}, {"a\rb", "c"}},
        // Canonical numbers; one-line chunks and lines that are no label are numbered on with their text kept.
        {"007\n\nHello\n---\n5\n---\nDemo\n---\nWelcome\nto the talk\n---\nWelcome everyone\nhi\n---\n0\nzero\n---\n-1\nminus",
         {"7", "8", "9", "Welcome", "10", "11", "12"},
         {"Hello", "5", "Demo", "to the talk", "Welcome everyone\nhi", "0\nzero", "-1\nminus"}},
        // Labels repeat; a demo block does not count; a lower label resets the running number.
        {"5\na\n---\nb\n---\n6\nc", {"5", "6", "6"}, {"a", "b", "c"}},
        {"3\na\n---\nDemo\nb\n---\nc", {"3", "Demo", "4"}, {"a", "b", "c"}},
        {"9\na\n---\n2\nb\n---\nc", {"9", "2", "3"}, {"a", "b", "c"}},
        // A label line followed only by blank lines is a one-line chunk.
        {"4\n \n---\nx", {"1", "2"}, {"4", "x"}},
        {"1\n   first\n  second  \n    third\n---\nx", {"1", "2"}, {"first\n  second  \n    third", "x"}},
        // One beyond the 64-bit range is no number.
        {"9223372036854775808\na\n---\nb", {"1", "2"}, {"9223372036854775808\na", "b"}},
    };
    for (const Case& c : cases) {
        const ParsedScript parsed = ScriptText::parseScript(QString::fromUtf8(c.text));
        EXPECT_EQ(labels(parsed), c.labels) << c.text;
        EXPECT_EQ(parsed.sections(), c.sections) << c.text;
    }
}

TEST(ScriptTextParse, NumberingOnAfterTheLargestLabelSaturates)
{
    const ParsedScript parsed = ScriptText::parseScript(QStringLiteral("9223372036854775807\na\n---\nb\n---\nc"));
    EXPECT_EQ(labels(parsed), (QStringList{"9223372036854775807", "9223372036854775807", "9223372036854775807"}));
    EXPECT_EQ(parsed.sections(), (QStringList{"a", "b", "c"}));
}

TEST(ScriptTextBlocks, LabelGrammarAndKind)
{
    for (const char* valid : {"1", "+7", "007", "Demo"})
        EXPECT_TRUE(ScriptText::isValidTimelineLabel(QString::fromUtf8(valid))) << valid;
    for (const char* invalid : {"0", "-3", " 3", "３", "Démo", "Demo1", ""})
        EXPECT_FALSE(ScriptText::isValidTimelineLabel(QString::fromUtf8(invalid))) << invalid;

    EXPECT_EQ(block("12", "").kind(), PromptTimelineBlockKind::slide(12));
    EXPECT_EQ(block("007", "").kind(), PromptTimelineBlockKind::slide(7));
    for (const char* label : {"0", "-3", "Intro", "", " 4"})
        EXPECT_EQ(block(label, "").kind(), PromptTimelineBlockKind::demo(label)) << label;
}

TEST(ScriptTextBlocks, JsonNeedsAllThreeKeys)
{
    const PromptTimelineBlock original = block("Demo", QStringLiteral("演示"));
    const QJsonObject json = original.toJson();
    EXPECT_EQ(json.value("id").toString(), json.value("id").toString().toUpper());
    QJsonObject extra = json;
    extra.insert("other", 1);
    EXPECT_EQ(PromptTimelineBlock::fromJson(extra), original);
    const QJsonValue missing(QJsonValue::Undefined); // inserting it removes the member
    for (const auto& [key, value] : {std::pair<const char*, QJsonValue>{"id", missing}, {"label", missing}, {"text", missing}, {"id", "x"}}) {
        QJsonObject broken = json;
        broken.insert(key, value);
        EXPECT_FALSE(PromptTimelineBlock::fromJson(broken).has_value()) << key;
    }
}

TEST(ScriptTextSerialize, JoinsBlocksAndParsesBack)
{
    const QString text = ScriptText::serialize({block("1", "A"), block("Demo", "")});
    EXPECT_EQ(text, "1\nA\n---\nDemo");
    const ParsedScript again = ScriptText::parseScript(text);
    EXPECT_EQ(labels(again), (QStringList{"1", "2"}));
    EXPECT_EQ(again.blocks[1].text, "Demo");

    // Canonical blocks come back with new ids; a single block has no separator to keep its label.
    const ParsedScript three = ScriptText::parseScript(ScriptText::serialize({block("1", "Hello\n  world"), block("Demo", "**Go**"), block("3", "Bye")}));
    EXPECT_EQ(labels(three), (QStringList{"1", "Demo", "3"}));
    EXPECT_EQ(three.sections(), (QStringList{"Hello\n  world", "**Go**", "Bye"}));
    const ParsedScript single = ScriptText::parseScript(ScriptText::serialize({block("4", "Text")}));
    EXPECT_EQ(labels(single), QStringList{"1"});
    EXPECT_EQ(single.sections(), QStringList{"4\nText"});
}

TEST(ScriptTextMigrate, ParagraphsBecomeBlocksOnlyWhenMigrated)
{
    const QString text = QStringLiteral("First paragraph\nstill first\n\nSecond\r\n\r\n\n\nThird\n \nstill third");
    const ParsedScript migrated = ScriptText::migrateStoredScript(text);
    EXPECT_EQ(labels(migrated), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(migrated.sections(), (QStringList{"First paragraph\nstill first", "Second", "Third\n \nstill third"}));
    EXPECT_EQ(labels(ScriptText::parseScript(text)), (QStringList{"1"}));

    // With a separator line, migration is parsing.
    const QString separated = QStringLiteral("3\nA\n\nB\n---\nDemo\nC");
    EXPECT_EQ(labels(ScriptText::migrateStoredScript(separated)), (QStringList{"3", "Demo"}));
    EXPECT_EQ(ScriptText::migrateStoredScript(separated).sections(), ScriptText::makeSections(separated));
}
