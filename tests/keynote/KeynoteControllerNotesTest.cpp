#include "KeynoteControllerFixture.h"

#include "keynote/KeynoteScripts.h"

using namespace quorvia;
using namespace quorvia::test;

namespace {

using ReadResult = std::expected<KeynotePresenterNotesBackup, KeynotePresenterNotesError>;
using ReplaceResult = std::expected<void, KeynotePresenterNotesError>;

class KeynoteControllerNotes : public KeynoteControllerFixture {
protected:
    KeynoteControllerNotes()
    {
        auto document = Document::withSlides(QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), 12);
        document.notes[0] = QStringLiteral("one");
        document.notes[2] = QStringLiteral("three");
        keynote->closeAll();
        keynote->open(document);
    }

    void read(std::vector<qint64> slides, const KeynoteDocumentIdentity& identity, qint64 count = 12)
    {
        controller->readPresenterNotes(std::move(slides), identity, count,
                                       [this](ReadResult result) { reads.push_back(std::move(result)); });
    }
    void replace(std::map<qint64, QString> notes, const KeynoteDocumentIdentity& identity, qint64 count = 12)
    {
        controller->replacePresenterNotes(std::move(notes), identity, count,
                                          [this](ReplaceResult result) { replaces.push_back(result); });
    }

    std::vector<ReadResult> reads;
    std::vector<ReplaceResult> replaces;
};

} // namespace

TEST_F(KeynoteControllerNotes, ReadSendsOneScriptForTheDistinctSlidesInOrder)
{
    makeReadyController();
    read({3, 1, 3}, talk);
    EXPECT_TRUE(reads.empty());
    settle();
    ASSERT_EQ(reads.size(), 1u);
    ASSERT_TRUE(reads[0]);
    const KeynotePresenterNotesBackup expected{QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), 12,
                                               {{1, QStringLiteral("one")}, {3, QStringLiteral("three")}}};
    EXPECT_EQ(*reads[0], expected);
    const auto scripts = keynote->receivedScripts();
    ASSERT_GE(scripts.size(), 1);
    EXPECT_EQ(scripts[0], KeynoteScripts::readPresenterNotesScript({1, 3}, talk, 12, QStringLiteral("com.apple.Keynote")));
    // Then one follow-up read of the state.
    EXPECT_EQ(keynote->receivedRequests(),
              (std::vector<SimulatedKeynote::Request>{SimulatedKeynote::Request::notesRead,
                                                      SimulatedKeynote::Request::stateRead}));
}

TEST_F(KeynoteControllerNotes, ReplaceWritesSlidesInAscendingOrder)
{
    makeReadyController();
    replace({{5, QStringLiteral("a")}, {2, QStringLiteral("b")}, {9, QStringLiteral("c")}}, talk);
    settle();
    ASSERT_EQ(replaces.size(), 1u);
    EXPECT_TRUE(replaces[0]);
    EXPECT_EQ(keynote->writtenSlides(), (std::vector<qint64>{2, 5, 9}));
    EXPECT_EQ(keynote->notes(2), QStringLiteral("b"));
    EXPECT_EQ(keynote->notes(1), QStringLiteral("one"));

    // An empty text clears the note.
    replace({{1, QString()}}, talk);
    settle();
    EXPECT_EQ(keynote->notes(1), QString());
}

TEST_F(KeynoteControllerNotes, GuardsRefuseSynchronouslyWithoutAScript)
{
    makeReadyController();
    const KeynoteDocumentIdentity unsavedTalk{QStringLiteral("Talk.key"), std::nullopt};
    read({}, talk);
    read({0, 1}, talk);
    read({13}, talk);
    read({1}, talk, 11);
    read({1}, unsavedTalk); // a path never equals no path
    replace({}, talk);
    replace({{0, QStringLiteral("x")}}, talk);
    replace({{13, QStringLiteral("x")}}, talk);
    replace({{1, QStringLiteral("x")}}, {QStringLiteral("talk.key"), QStringLiteral("/x/Talk.key")});
    ASSERT_EQ(reads.size(), 5u);
    ASSERT_EQ(replaces.size(), 4u);
    for (const auto& r : reads)
        EXPECT_EQ(r.error(), KeynotePresenterNotesError::invalidState);
    for (const auto& r : replaces)
        EXPECT_EQ(r.error(), KeynotePresenterNotesError::invalidState);
    EXPECT_EQ(queuedScripts(), 0u);
}

TEST_F(KeynoteControllerNotes, RefusedWhilePlayingBusyOrQuit)
{
    makeReadyController();
    controller->startSlideshow();
    settle();
    read({1}, talk);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].error(), KeynotePresenterNotesError::invalidState);
    controller->stopSlideshow();
    settle();

    controller->setMonitoringEnabled(true); // a poll is in flight
    read({1}, talk);
    replace({{1, QStringLiteral("x")}}, talk);
    EXPECT_EQ(reads[1].error(), KeynotePresenterNotesError::invalidState);
    EXPECT_EQ(replaces[0].error(), KeynotePresenterNotesError::invalidState);
    controller->setMonitoringEnabled(false);
    settle();

    keynote->quit();
    read({1}, talk);
    EXPECT_EQ(reads[2].error(), KeynotePresenterNotesError::invalidState);
    EXPECT_EQ(keynote->receivedRequests().size(), 3u); // two playback commands and one poll
}

TEST_F(KeynoteControllerNotes, FrontDocumentChangedAfterTheGuardIsAMismatch)
{
    makeReadyController();
    read({1}, talk);
    keynote->open(Document::withSlides(QStringLiteral("Other.key"), QStringLiteral("/y/Other.key"), 12));
    settle();
    EXPECT_EQ(reads[0].error(), KeynotePresenterNotesError::documentMismatch);
    // The follow-up read records the new front document.
    EXPECT_EQ(controller->documentIdentity()->filePath, QStringLiteral("/y/Other.key"));

    makeReadyController();
    replace({{1, QStringLiteral("x")}}, {QStringLiteral("Other.key"), QStringLiteral("/y/Other.key")});
    keynote->closeAll();
    settle();
    EXPECT_EQ(replaces[0].error(), KeynotePresenterNotesError::documentMismatch);
    EXPECT_EQ(controller->state(), KeynoteConnectionState::noDocument());
}

TEST_F(KeynoteControllerNotes, DeniedAndMalformedAnswers)
{
    makeReadyController();
    keynote->setAutomationDenied(true);
    read({1}, talk);
    settle();
    EXPECT_EQ(reads[0].error(), KeynotePresenterNotesError::automationDenied);

    keynote->setAutomationDenied(false);
    makeReadyController();
    keynote->replyNextWith(platform::ScriptReply::list({QStringLiteral("one")}));
    read({1, 3}, talk);
    settle();
    EXPECT_EQ(reads[1].error(), KeynotePresenterNotesError::unavailable);
}

TEST_F(KeynoteControllerNotes, StopDuringAnOperationReportsUnavailableWithoutAFollowUp)
{
    makeReadyController();
    replace({{4, QStringLiteral("new")}}, talk);
    controller->stop();
    settle();
    ASSERT_EQ(replaces.size(), 1u);
    EXPECT_EQ(replaces[0].error(), KeynotePresenterNotesError::unavailable);
    EXPECT_EQ(keynote->notes(4), QStringLiteral("new")); // Keynote may still have changed
    EXPECT_EQ(keynote->receivedRequests(), std::vector<SimulatedKeynote::Request>{SimulatedKeynote::Request::notesReplace});
}

TEST_F(KeynoteControllerNotes, ReplaceFromInsideTheReadCompletionGoesAhead)
{
    makeReadyController();
    controller->readPresenterNotes({1}, talk, 12, [this](ReadResult result) {
        reads.push_back(result);
        replace({{1, QStringLiteral("script")}}, talk);
    });
    settle();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0]->notesBySlide.at(1), QStringLiteral("one"));
    ASSERT_EQ(replaces.size(), 1u);
    EXPECT_TRUE(replaces[0]);
    EXPECT_EQ(keynote->notes(1), QStringLiteral("script"));
    // The read's follow-up probe met the replacement in flight and did not run.
    EXPECT_EQ(keynote->receivedRequests(),
              (std::vector<SimulatedKeynote::Request>{SimulatedKeynote::Request::notesRead,
                                                      SimulatedKeynote::Request::notesReplace,
                                                      SimulatedKeynote::Request::stateRead}));
}

TEST_F(KeynoteControllerNotes, UnsavedDocumentGivesABackupWithoutPath)
{
    keynote->closeAll();
    keynote->open(Document::withSlides(QStringLiteral("Draft"), std::nullopt, 2));
    makeController();
    controller->refresh();
    settle();
    read({2}, {QStringLiteral("Draft"), std::nullopt}, 2);
    settle();
    ASSERT_TRUE(reads[0]);
    EXPECT_FALSE(reads[0]->documentPath);
    EXPECT_EQ(reads[0]->documentName, QStringLiteral("Draft"));
    EXPECT_EQ(reads[0]->notesBySlide.at(2), QString());
}
