#include "keynote/KeynoteScripts.h"
#include "support/QtPrinting.h"
#include "support/SimulatedKeynote.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::ScriptError;
using platform::ScriptErrorKind;
using platform::ScriptReply;
using test::SimulatedKeynote;

namespace {

const QString kKeynote = QStringLiteral("com.apple.Keynote");
const QString kHead = QStringLiteral("tell application id \"com.apple.Keynote\"\n"
                                     "    if (count of documents) is 0 then return \"NO_DOCUMENT\"\n");
const QString kStateTail = QStringLiteral(
    "    set playbackState to playing\n"
    "    set documentName to name of front document\n"
    "    set documentPath to \"\"\n"
    "    try\n"
    "        set documentPath to POSIX path of (file of front document)\n"
    "    end try\n"
    "    tell front document\n"
    "        return (slide number of current slide as text) & (character id 31) & (count of slides as text) & "
    "(character id 31) & (playbackState as text) & (character id 31) & documentName & (character id 31) & documentPath\n"
    "    end tell\n"
    "end tell");

QString reply(std::initializer_list<QString> fields) { return QStringList(fields).join(QChar(u'\x1F')); }

platform::ScriptResult error(std::optional<int> number, ScriptErrorKind kind = ScriptErrorKind::failed)
{
    return std::unexpected(ScriptError{kind, number, QStringLiteral("x")});
}

const ProbeResult kUnavailable{KeynoteConnectionState::unavailable(), std::nullopt};

class KeynoteScriptsWithKeynote : public ::testing::Test {
protected:
    KeynoteScriptsWithKeynote()
    {
        keynote.launch();
        auto document = SimulatedKeynote::Document::withSlides(QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), 12);
        document.notes[0] = QStringLiteral("first");
        document.notes[2] = QStringLiteral("third");
        keynote.open(document);
    }
    const KeynoteDocumentIdentity talk{QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key")};
    SimulatedKeynote keynote;
};

} // namespace

TEST(KeynoteScriptTexts, StateReadGoToSlideAndPlayback)
{
    EXPECT_EQ(KeynoteScripts::stateReadScript(kKeynote), kHead + kStateTail);
    EXPECT_EQ(KeynoteScripts::goToSlideScript(7, kKeynote),
              kHead
                  + QStringLiteral("    tell front document\n"
                                   "        if 7 > (count of slides) then return \"OUT_OF_RANGE\"\n"
                                   "        set current slide to slide 7\n"
                                   "    end tell\n")
                  + kStateTail);
    EXPECT_EQ(KeynoteScripts::commandScript(KeynoteScripts::startCommand, QStringLiteral("com.apple.iWork.Keynote")),
              QStringLiteral("tell application id \"com.apple.iWork.Keynote\"\n"
                             "    if (count of documents) is 0 then return \"NO_DOCUMENT\"\n"
                             "    start front document from current slide of front document\n"
                             "    delay 0.15\n")
                  + kStateTail);
}

TEST(KeynoteScriptTexts, ValidationBlockComparesPathOrName)
{
    const QString common = QStringLiteral("set documentName to name of front document\n"
                                          "set documentPath to \"\"\n"
                                          "try\n"
                                          "    set documentPath to POSIX path of (file of front document)\n"
                                          "end try\n"
                                          "tell front document\n"
                                          "    if (count of slides) is not 12 then return \"DOCUMENT_MISMATCH\"\n"
                                          "end tell\n");
    EXPECT_EQ(KeynoteScripts::documentValidationScript({QStringLiteral("Talk"), QStringLiteral("/x/Talk.key")}, 12),
              common + QStringLiteral("if documentPath is not \"/x/Talk.key\" then return \"DOCUMENT_MISMATCH\""));
    EXPECT_EQ(KeynoteScripts::documentValidationScript({QStringLiteral("Say \"hi\""), std::nullopt}, 12),
              common + QStringLiteral("if documentName is not \"Say \\\"hi\\\"\" then return \"DOCUMENT_MISMATCH\""));
}

TEST(KeynoteScriptTexts, NotesScriptsIndentFirstSlideByEightAndLaterByTwelve)
{
    const KeynoteDocumentIdentity identity{QStringLiteral("T"), std::nullopt};
    const QString head = kHead + QStringLiteral("    ") + KeynoteScripts::documentValidationScript(identity, 9) + u'\n';
    EXPECT_EQ(KeynoteScripts::readPresenterNotesScript({1, 3}, identity, 9, kKeynote),
              head
                  + QStringLiteral("    set noteValues to {}\n"
                                   "    tell front document\n"
                                   "        set end of noteValues to (presenter notes of slide 1 as text)\n"
                                   "            set end of noteValues to (presenter notes of slide 3 as text)\n"
                                   "    end tell\n"
                                   "    return noteValues\n"
                                   "end tell"));
    EXPECT_EQ(KeynoteScripts::replacePresenterNotesScript(
                  {{5, QStringLiteral("a")}, {2, QStringLiteral("b")}, {9, QStringLiteral("c")}}, identity, 9, kKeynote),
              head
                  + QStringLiteral("    tell front document\n"
                                   "        set presenter notes of slide 2 to \"b\"\n"
                                   "            set presenter notes of slide 5 to \"a\"\n"
                                   "            set presenter notes of slide 9 to \"c\"\n"
                                   "    end tell\n"
                                   "    return \"OK\"\n"
                                   "end tell"));
}

TEST(KeynoteScriptTexts, TextExpressionSplitsLinesAndEscapes)
{
    const auto expr = &KeynoteScripts::appleScriptTextExpression;
    EXPECT_EQ(expr(QString()), QStringLiteral("\"\""));
    EXPECT_EQ(expr(QStringLiteral("a\r\nb")), QStringLiteral("\"a\" & linefeed & \"b\""));
    EXPECT_EQ(expr(QStringLiteral("\\")), QStringLiteral("\"\\\\\""));
    EXPECT_EQ(expr(QStringLiteral("say \"x\"")), QStringLiteral("\"say \\\"x\\\"\""));
    EXPECT_EQ(expr(QStringLiteral("end\n")), QStringLiteral("\"end\" & linefeed & \"\""));
}

TEST(KeynoteReplies, StateReplies)
{
    const std::pair<platform::ScriptResult, ProbeResult> rows[] = {
        {ScriptReply::text(reply({"3", "12", "TRUE", "Talk", ""})),
         {KeynoteConnectionState::ready(3, 12, true), KeynoteDocumentIdentity{"Talk", std::nullopt}}},
        {ScriptReply::text("NO_DOCUMENT"), {KeynoteConnectionState::noDocument(), std::nullopt}},
        {error(-1743), {KeynoteConnectionState::automationDenied(), std::nullopt}},
        {ScriptReply::text(reply({"3", "12", "true", "Talk"})), kUnavailable},
        {ScriptReply::text(reply({"3", "12", "true", "Ta\x1Flk", ""})), kUnavailable},
        {ScriptReply::text(reply({"0", "12", "true", "Talk", ""})), kUnavailable},
        {ScriptReply::text(reply({"13", "12", "true", "Talk", ""})), kUnavailable},
        {ScriptReply::text(reply({"3", "twelve", "true", "Talk", ""})), kUnavailable},
        {ScriptReply::none(), kUnavailable},
        {ScriptReply::list({reply({"1", "1", "true", "T", ""})}), kUnavailable}, // a list is never text
        {error(std::nullopt), kUnavailable},
        {error(-1743, ScriptErrorKind::cannotCompile), kUnavailable},
    };
    for (const auto& [outcome, expected] : rows)
        EXPECT_EQ(KeynoteScripts::classifyState(outcome), expected)
            << (outcome ? outcome->stringValue().value_or("(no text)").toStdString() : "error");
}

TEST(KeynoteReplies, NotesReplies)
{
    using Error = KeynotePresenterNotesError;
    const std::vector<qint64> slides{1, 3};
    const auto read = [&](const platform::ScriptResult& outcome) {
        return KeynoteScripts::classifyNotesRead(outcome, slides);
    };
    EXPECT_EQ(read(ScriptReply::list({"a", QString()})).value(),
              (KeynoteScripts::Notes{{1, QStringLiteral("a")}, {3, QString()}}));
    EXPECT_EQ(read(ScriptReply::list({"a"})).error(), Error::unavailable); // one short
    EXPECT_EQ(read(ScriptReply::list({"a", std::nullopt})).error(), Error::unavailable);
    EXPECT_EQ(read(ScriptReply::text("DOCUMENT_MISMATCH")).error(), Error::documentMismatch);
    EXPECT_EQ(read(error(-1743)).error(), Error::automationDenied);
    // A one-slide read answered with text is never that slide's note.
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(ScriptReply::text("note"), {1}).error(), Error::unavailable);

    const auto replace = &KeynoteScripts::classifyNotesReplacement;
    EXPECT_TRUE(replace(ScriptReply::text("OK")));
    EXPECT_EQ(replace(ScriptReply::text("NO_DOCUMENT")).error(), Error::documentMismatch);
    EXPECT_EQ(replace(ScriptReply::list({"OK"})).error(), Error::unavailable);
}

TEST_F(KeynoteScriptsWithKeynote, KeynoteAnswersTheBuildersAndRefusesOtherTexts)
{
    EXPECT_EQ(KeynoteScripts::setCurrentSlide(keynote, 13, kKeynote).state, KeynoteConnectionState::unavailable());
    EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {1, 2, 3}, talk, 12, kKeynote).value(),
              (KeynoteScripts::Notes{{1, QStringLiteral("first")}, {2, QString()}, {3, QStringLiteral("third")}}));
    EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {1}, talk, 11, kKeynote).error(),
              KeynotePresenterNotesError::documentMismatch);
    keynote.clearLog();

    const QString good = KeynoteScripts::stateReadScript(kKeynote);
    const QStringList bad{
        good + u'\n',
        QString(good).replace(QStringLiteral("    set playbackState"), QStringLiteral("   set playbackState")),
        QString(KeynoteScripts::goToSlideScript(4, kKeynote)).replace(QStringLiteral("slide 4"), QStringLiteral("slide 5")),
    };
    for (const auto& script : bad)
        EXPECT_FALSE(keynote.run(script)) << script.toStdString();
    EXPECT_TRUE(keynote.receivedRequests().empty());
}

TEST_F(KeynoteScriptsWithKeynote, NotesTextSurvivesTheRoundTrip)
{
    const QStringList texts{
        QString(),
        QStringLiteral("two\r\nlines\rand\nmore"),
        QStringLiteral("\"quoted\" \\back\\slash\\\" & linefeed & \"not a join\""),
        QStringLiteral("tab\tunit\x1Fsep 讲稿 é 👋🏽"),
        QStringLiteral(" then return \"DOCUMENT_MISMATCH\""),
    };
    for (const auto& text : texts) {
        ASSERT_TRUE(KeynoteScripts::replacePresenterNotes(keynote, {{4, text}}, talk, 12, kKeynote)) << text.toStdString();
        auto expected = text;
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {4}, talk, 12, kKeynote).value().at(4), expected);
    }
}
