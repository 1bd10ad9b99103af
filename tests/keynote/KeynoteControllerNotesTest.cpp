#include "KeynoteControllerFixture.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;

namespace {

using ReadResult = std::expected<KeynotePresenterNotesBackup, KeynotePresenterNotesError>;
using ReplaceResult = std::expected<void, KeynotePresenterNotesError>;
using Error = KeynotePresenterNotesError;

class KeynoteControllerNotes : public KeynoteControllerFixture {
protected:
    KeynoteControllerNotes() { makeReadyController(); }

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

TEST_F(KeynoteControllerNotes, ReadSendsOneScriptForTheDistinctSlidesThenReadsTheState)
{
    read({3, 1, 3}, talk);
    EXPECT_TRUE(reads.empty());
    settle();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].value(), (KeynotePresenterNotesBackup{QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), 12,
                                                             {{1, QStringLiteral("one")}, {3, QStringLiteral("three")}}}));
    EXPECT_EQ(keynote->receivedRequests(), (std::vector<Request>{Request::notesRead, Request::stateRead}));
}

TEST_F(KeynoteControllerNotes, ReplaceWritesSlidesInAscendingOrder)
{
    replace({{5, QStringLiteral("a")}, {2, QStringLiteral("b")}, {9, QStringLiteral("c")}}, talk);
    settle();
    EXPECT_TRUE(replaces.at(0));
    EXPECT_EQ(keynote->writtenSlides(), (std::vector<qint64>{2, 5, 9}));
    EXPECT_EQ(keynote->notes(1), QStringLiteral("one")); // untouched
}

TEST_F(KeynoteControllerNotes, GuardsRefuseSynchronouslyWithoutAScript)
{
    read({}, talk);
    read({0, 1}, talk);
    read({13}, talk);
    read({1}, {QStringLiteral("Talk.key"), std::nullopt}); // a path never equals no path
    replace({{13, QStringLiteral("x")}}, talk);
    controller->startSlideshow();
    settle();
    read({1}, talk); // the slideshow plays
    controller->stopSlideshow();
    settle();
    controller->setMonitoringEnabled(true); // a poll is in flight
    read({1}, talk);
    replace({{1, QStringLiteral("x")}}, talk);
    controller->setMonitoringEnabled(false);
    settle();
    keynote->quit();
    read({1}, talk);

    ASSERT_EQ(reads.size(), 7u);
    ASSERT_EQ(replaces.size(), 2u);
    for (const auto& r : reads)
        EXPECT_EQ(r.error(), Error::invalidState);
    for (const auto& r : replaces)
        EXPECT_EQ(r.error(), Error::invalidState);
    EXPECT_EQ(keynote->receivedRequests(),
              (std::vector<Request>{Request::playback, Request::playback, Request::stateRead}));
}

TEST_F(KeynoteControllerNotes, StopDuringAnOperationReportsUnavailableWithoutAFollowUp)
{
    replace({{4, QStringLiteral("new")}}, talk);
    controller->stop();
    settle();
    ASSERT_EQ(replaces.size(), 1u);
    EXPECT_EQ(replaces[0].error(), Error::unavailable);
    EXPECT_EQ(keynote->notes(4), QStringLiteral("new")); // Keynote may still have changed
    EXPECT_EQ(keynote->receivedRequests(), std::vector<Request>{Request::notesReplace});
}

TEST_F(KeynoteControllerNotes, ReplaceFromInsideTheReadCompletionGoesAhead)
{
    controller->readPresenterNotes({1}, talk, 12, [this](ReadResult result) {
        reads.push_back(result);
        replace({{1, QStringLiteral("script")}}, talk);
    });
    settle();
    EXPECT_EQ(reads.at(0)->notesBySlide.at(1), QStringLiteral("one"));
    EXPECT_TRUE(replaces.at(0));
    EXPECT_EQ(keynote->notes(1), QStringLiteral("script"));
    // The read's follow-up probe met the replacement in flight and did not run.
    EXPECT_EQ(keynote->receivedRequests(),
              (std::vector<Request>{Request::notesRead, Request::notesReplace, Request::stateRead}));
}
