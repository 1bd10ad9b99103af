#include "keynote/KeynoteScripts.h"
#include "support/SimulatedKeynote.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::ScriptError;
using platform::ScriptErrorKind;
using platform::ScriptReply;
using test::SimulatedKeynote;

namespace {

const QString kKeynote = QStringLiteral("com.apple.Keynote");

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

QString reply(std::initializer_list<QString> fields)
{
    return QStringList(fields).join(QChar(u'\x1F'));
}

ProbeResult classifyText(const QString& text) { return KeynoteScripts::classifyState(ScriptReply::text(text)); }

platform::ScriptResult error(int number)
{
    return std::unexpected(ScriptError{ScriptErrorKind::failed, number, QStringLiteral("x")});
}

class KeynoteScriptsWithKeynote : public ::testing::Test {
protected:
    KeynoteScriptsWithKeynote()
    {
        keynote.launch();
        auto talk = SimulatedKeynote::Document::withSlides(QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), 12);
        talk.notes[0] = QStringLiteral("first");
        talk.notes[2] = QStringLiteral("third");
        keynote.open(talk);
    }
    const KeynoteDocumentIdentity talk{QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key")};
    SimulatedKeynote keynote;
};

} // namespace

TEST(KeynoteScriptTexts, StateReadGoToSlideAndPlayback)
{
    const QString head = QStringLiteral("tell application id \"com.apple.Keynote\"\n"
                                        "    if (count of documents) is 0 then return \"NO_DOCUMENT\"\n");
    EXPECT_EQ(KeynoteScripts::stateReadScript(kKeynote), head + kStateTail);
    EXPECT_EQ(KeynoteScripts::goToSlideScript(7, kKeynote),
              head
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
    EXPECT_FALSE(KeynoteScripts::goToSlideScript(12345, kKeynote).contains(QStringLiteral("12,345")));
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
    const QString validation = KeynoteScripts::documentValidationScript(identity, 9);
    const QString head = QStringLiteral("tell application id \"com.apple.Keynote\"\n"
                                        "    if (count of documents) is 0 then return \"NO_DOCUMENT\"\n    ")
        + validation + u'\n';
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
    EXPECT_EQ(expr(QStringLiteral("a\rb\nc")), QStringLiteral("\"a\" & linefeed & \"b\" & linefeed & \"c\""));
    EXPECT_EQ(expr(QStringLiteral("\\")), QStringLiteral("\"\\\\\""));
    EXPECT_EQ(expr(QStringLiteral("say \"x\"")), QStringLiteral("\"say \\\"x\\\"\""));
    EXPECT_EQ(expr(QStringLiteral("end\n")), QStringLiteral("\"end\" & linefeed & \"\""));
    const QString passthrough = QStringLiteral("\t讲稿\x1F");
    EXPECT_EQ(expr(passthrough), u'"' + passthrough + u'"');
}

TEST(KeynoteStateReply, ReadyWithIdentity)
{
    const auto result = classifyText(reply({"3", "12", "TRUE", "Talk", ""}));
    EXPECT_EQ(result.state, KeynoteConnectionState::ready(3, 12, true));
    ASSERT_TRUE(result.identity);
    EXPECT_EQ(*result.identity, (KeynoteDocumentIdentity{QStringLiteral("Talk"), std::nullopt}));

    const auto saved = classifyText(reply({"+1", "1", "false", "T.key", "/x/T.key"}));
    EXPECT_EQ(saved.state, KeynoteConnectionState::ready(1, 1, false));
    EXPECT_EQ(saved.identity->filePath, QStringLiteral("/x/T.key"));
}

TEST(KeynoteStateReply, MalformedRepliesAreUnavailable)
{
    const ProbeResult unavailable{KeynoteConnectionState::unavailable(), std::nullopt};
    EXPECT_EQ(classifyText(reply({"3", "12", "true", "Talk"})), unavailable);
    EXPECT_EQ(classifyText(reply({"3", "12", "true", QStringLiteral("Ta\x1Flk"), ""})), unavailable);
    EXPECT_EQ(classifyText(reply({"0", "12", "true", "Talk", ""})), unavailable);
    EXPECT_EQ(classifyText(reply({"13", "12", "true", "Talk", ""})), unavailable);
    EXPECT_EQ(classifyText(reply({"3", "twelve", "true", "Talk", ""})), unavailable);
    EXPECT_EQ(classifyText(reply({"3", "12 ", "true", "Talk", ""})), unavailable);
    EXPECT_EQ(classifyText(reply({"", "12", "true", "Talk", ""})), unavailable);
    EXPECT_EQ(classifyText(reply({"3", "99999999999", "true", "Talk", ""})), unavailable);
    EXPECT_EQ(classifyText(QStringLiteral("OUT_OF_RANGE")), unavailable);
    EXPECT_EQ(KeynoteScripts::classifyState(ScriptReply::none()), unavailable);
    // A list is never read as text.
    EXPECT_EQ(KeynoteScripts::classifyState(ScriptReply::list({reply({"1", "1", "true", "T", ""})})), unavailable);
    EXPECT_EQ(classifyText(QStringLiteral("NO_DOCUMENT")).state, KeynoteConnectionState::noDocument());
}

TEST(KeynoteStateReply, ErrorsSplitIntoDeniedAndUnavailable)
{
    EXPECT_EQ(KeynoteScripts::classifyState(error(-1743)).state, KeynoteConnectionState::automationDenied());
    EXPECT_EQ(KeynoteScripts::classifyState(error(-1728)).state, KeynoteConnectionState::unavailable());
    EXPECT_EQ(KeynoteScripts::classifyState(std::unexpected(ScriptError{ScriptErrorKind::failed, std::nullopt, {}})).state,
              KeynoteConnectionState::unavailable());
    EXPECT_EQ(KeynoteScripts::classifyState(std::unexpected(ScriptError{ScriptErrorKind::cannotCompile, -1743, {}})).state,
              KeynoteConnectionState::unavailable());
}

TEST(KeynoteNotesReplies, ReadNeedsOneTextPerRequestedSlide)
{
    const std::vector<qint64> slides{1, 3};
    const auto ok = KeynoteScripts::classifyNotesRead(ScriptReply::list({QStringLiteral("a"), QString()}), slides);
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, (KeynoteScripts::Notes{{1, QStringLiteral("a")}, {3, QString()}}));
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(ScriptReply::list({QStringLiteral("a")}), slides).error(),
              KeynotePresenterNotesError::unavailable);
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(ScriptReply::list({QStringLiteral("a"), std::nullopt}), slides).error(),
              KeynotePresenterNotesError::unavailable);
    // A one-slide read answered with a result word is that word, not a note.
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(ScriptReply::text(QStringLiteral("DOCUMENT_MISMATCH")), {1}).error(),
              KeynotePresenterNotesError::documentMismatch);
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(ScriptReply::text(QStringLiteral("NO_DOCUMENT")), {1}).error(),
              KeynotePresenterNotesError::documentMismatch);
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(ScriptReply::text(QStringLiteral("note")), {1}).error(),
              KeynotePresenterNotesError::unavailable);
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(error(-1743), slides).error(), KeynotePresenterNotesError::automationDenied);
    EXPECT_EQ(KeynoteScripts::classifyNotesRead(error(-1), slides).error(), KeynotePresenterNotesError::unavailable);
}

TEST(KeynoteNotesReplies, ReplacementSucceedsOnlyOnOk)
{
    EXPECT_TRUE(KeynoteScripts::classifyNotesReplacement(ScriptReply::text(QStringLiteral("OK"))));
    EXPECT_EQ(KeynoteScripts::classifyNotesReplacement(ScriptReply::text(QStringLiteral("DOCUMENT_MISMATCH"))).error(),
              KeynotePresenterNotesError::documentMismatch);
    EXPECT_EQ(KeynoteScripts::classifyNotesReplacement(ScriptReply::text(QStringLiteral("ok"))).error(),
              KeynotePresenterNotesError::unavailable);
    EXPECT_EQ(KeynoteScripts::classifyNotesReplacement(ScriptReply::none()).error(), KeynotePresenterNotesError::unavailable);
    EXPECT_EQ(KeynoteScripts::classifyNotesReplacement(ScriptReply::list({QStringLiteral("OK")})).error(),
              KeynotePresenterNotesError::unavailable);
    EXPECT_EQ(KeynoteScripts::classifyNotesReplacement(error(-1743)).error(), KeynotePresenterNotesError::automationDenied);
}

TEST_F(KeynoteScriptsWithKeynote, StateScriptsAgainstKeynote)
{
    auto state = KeynoteScripts::readCurrentSlide(keynote, kKeynote);
    EXPECT_EQ(state.state, KeynoteConnectionState::ready(1, 12, false));
    EXPECT_EQ(state.identity, talk);

    EXPECT_EQ(KeynoteScripts::setCurrentSlide(keynote, 12, kKeynote).state, KeynoteConnectionState::ready(12, 12, false));
    EXPECT_EQ(KeynoteScripts::setCurrentSlide(keynote, 13, kKeynote).state, KeynoteConnectionState::unavailable());
    EXPECT_EQ(keynote.frontDocument()->currentSlide, 12);

    EXPECT_EQ(KeynoteScripts::executeCommand(keynote, KeynoteScripts::startCommand, kKeynote).state,
              KeynoteConnectionState::ready(12, 12, true));
    EXPECT_EQ(KeynoteScripts::executeCommand(keynote, KeynoteScripts::showPreviousCommand, kKeynote).state,
              KeynoteConnectionState::ready(11, 12, true));
    EXPECT_EQ(KeynoteScripts::executeCommand(keynote, KeynoteScripts::showNextCommand, kKeynote).state,
              KeynoteConnectionState::ready(12, 12, true));
    EXPECT_EQ(KeynoteScripts::executeCommand(keynote, KeynoteScripts::stopCommand, kKeynote).state,
              KeynoteConnectionState::ready(12, 12, false));

    keynote.closeAll();
    EXPECT_EQ(KeynoteScripts::readCurrentSlide(keynote, kKeynote).state, KeynoteConnectionState::noDocument());
    EXPECT_EQ(KeynoteScripts::setCurrentSlide(keynote, 1, kKeynote).state, KeynoteConnectionState::noDocument());
}

TEST_F(KeynoteScriptsWithKeynote, KeynoteRefusesTextsOutsideTheProtocol)
{
    const QString good = KeynoteScripts::stateReadScript(kKeynote);
    const QStringList bad{
        good + u'\n',
        QString(good).replace(QStringLiteral("    set playbackState"), QStringLiteral("   set playbackState")),
        KeynoteScripts::stateReadScript(QStringLiteral("com.apple.iWork.Keynote")),
        KeynoteScripts::commandScript(QStringLiteral("show everything"), kKeynote),
        QString(KeynoteScripts::goToSlideScript(4, kKeynote)).replace(QStringLiteral("slide 4"), QStringLiteral("slide 5")),
        QStringLiteral("display dialog \"hi\""),
    };
    for (const auto& script : bad) {
        const auto outcome = keynote.run(script);
        ASSERT_FALSE(outcome) << script.toStdString();
        EXPECT_EQ(KeynoteScripts::classifyState(outcome).state, KeynoteConnectionState::unavailable());
    }
    EXPECT_EQ(keynote.scriptCount(), bad.size());
    EXPECT_TRUE(keynote.receivedRequests().empty());
}

TEST_F(KeynoteScriptsWithKeynote, DeniedAndQuitKeynote)
{
    keynote.setAutomationDenied(true);
    EXPECT_EQ(KeynoteScripts::readCurrentSlide(keynote, kKeynote).state, KeynoteConnectionState::automationDenied());
    EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {1}, talk, 12, kKeynote).error(),
              KeynotePresenterNotesError::automationDenied);
    keynote.setAutomationDenied(false);
    keynote.quit();
    EXPECT_EQ(KeynoteScripts::readCurrentSlide(keynote, kKeynote).state, KeynoteConnectionState::unavailable());
}

TEST_F(KeynoteScriptsWithKeynote, NotesReadAndReplaceValidateTheDocument)
{
    const auto notes = KeynoteScripts::readPresenterNotes(keynote, {1, 2, 3}, talk, 12, kKeynote);
    ASSERT_TRUE(notes);
    EXPECT_EQ(*notes, (KeynoteScripts::Notes{{1, QStringLiteral("first")}, {2, QString()}, {3, QStringLiteral("third")}}));

    EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {1}, talk, 11, kKeynote).error(),
              KeynotePresenterNotesError::documentMismatch);
    const KeynoteDocumentIdentity elsewhere{QStringLiteral("Talk.key"), QStringLiteral("/y/Talk.key")};
    EXPECT_EQ(KeynoteScripts::replacePresenterNotes(keynote, {{1, QStringLiteral("x")}}, elsewhere, 12, kKeynote).error(),
              KeynotePresenterNotesError::documentMismatch);
    EXPECT_EQ(keynote.notes(1), QStringLiteral("first"));

    EXPECT_TRUE(KeynoteScripts::replacePresenterNotes(
        keynote, {{5, QStringLiteral("a")}, {2, QStringLiteral("b")}, {9, QStringLiteral("c")}}, talk, 12, kKeynote));
    EXPECT_EQ(keynote.writtenSlides(), (std::vector<qint64>{2, 5, 9}));
    EXPECT_EQ(keynote.notes(5), QStringLiteral("a"));

    // An unsaved document is checked by its name.
    keynote.open(SimulatedKeynote::Document::withSlides(QStringLiteral("Draft"), std::nullopt, 2));
    EXPECT_TRUE(KeynoteScripts::readPresenterNotes(keynote, {2}, {QStringLiteral("Draft"), std::nullopt}, 2, kKeynote));
    EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {2}, {QStringLiteral("Other"), std::nullopt}, 2, kKeynote).error(),
              KeynotePresenterNotesError::documentMismatch);
    keynote.closeAll();
    EXPECT_EQ(KeynoteScripts::readPresenterNotes(keynote, {2}, talk, 12, kKeynote).error(),
              KeynotePresenterNotesError::documentMismatch);
}

TEST_F(KeynoteScriptsWithKeynote, NotesTextSurvivesTheRoundTrip)
{
    const QStringList texts{
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("two\r\nlines\rand\nmore"),
        QStringLiteral("\"quoted\" \\back\\slash\\\" & linefeed & \"not a join\""),
        QStringLiteral("\n\n"),
        QStringLiteral("tab\tunit\x1Fsep 讲稿 é 👋🏽"),
        QStringLiteral(" then return \"DOCUMENT_MISMATCH\""),
    };
    for (const auto& text : texts) {
        ASSERT_TRUE(KeynoteScripts::replacePresenterNotes(keynote, {{4, text}}, talk, 12, kKeynote)) << text.toStdString();
        auto expected = text;
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        const auto read = KeynoteScripts::readPresenterNotes(keynote, {4}, talk, 12, kKeynote);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->at(4), expected);
    }
    // A path with quotes and a backslash still identifies its document.
    const QString odd = QStringLiteral("/x/My \"Best\" \\ Talk.key");
    keynote.open(SimulatedKeynote::Document::withSlides(QStringLiteral("My"), odd, 3));
    EXPECT_TRUE(KeynoteScripts::readPresenterNotes(keynote, {1}, {QStringLiteral("My"), odd}, 3, kKeynote));
}

TEST_F(KeynoteScriptsWithKeynote, OverriddenRepliesAreStillCheckedFirst)
{
    keynote.replyNextWith(ScriptReply::text(reply({"0", "12", "false", "Talk.key", ""})));
    EXPECT_EQ(KeynoteScripts::readCurrentSlide(keynote, kKeynote).state, KeynoteConnectionState::unavailable());
    keynote.replyNextWith(ScriptReply::text(QStringLiteral("OK")));
    EXPECT_FALSE(keynote.run(QStringLiteral("nonsense")));
    // The override waits for the next script of the protocol.
    EXPECT_EQ(KeynoteScripts::readCurrentSlide(keynote, kKeynote).state, KeynoteConnectionState::unavailable());
    EXPECT_EQ(KeynoteScripts::readCurrentSlide(keynote, kKeynote).state, KeynoteConnectionState::ready(1, 12, false));
}
