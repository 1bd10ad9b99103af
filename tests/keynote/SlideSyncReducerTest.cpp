#include "keynote/SlideSyncReducer.h"

#include <gtest/gtest.h>

#include <random>

using namespace quorvia;

namespace {

using Source = PresentationEventSource;
using Outcome = SyncAuditEvent::Outcome;
using Decision = SlideSyncDecision;

SlideMappings maps(std::initializer_list<std::optional<qint64>> slides) { return SlideMappings(slides); }

// A reducer that has accepted `slide` as Keynote's current one at `now`.
SlideSyncReducer showing(qint64 slide, const SlideMappings& mappings, double now)
{
    SlideSyncReducer reducer;
    reducer.keynoteSlideObserved(slide, mappings, now);
    return reducer;
}

} // namespace

TEST(SlideSyncReducerTest, KeynoteReportingTheCommandedSlideInTimeIsItsEcho)
{
    const auto mappings = maps({3});
    SlideSyncReducer reducer;
    EXPECT_EQ(reducer.sectionChanged(0, mappings, Source::speech, 10), Decision::sendSlide(3, Source::speech));
    EXPECT_EQ(reducer.auditTrail().back(), (SyncAuditEvent{10, Source::speech, 3, 0, Outcome::commandSent}));

    SlideSyncReducer inTime = reducer;
    EXPECT_EQ(inTime.keynoteSlideObserved(3, mappings, 12.5), Decision::none());
    EXPECT_EQ(inTime.auditTrail().back(), (SyncAuditEvent{12.5, Source::commandEcho, 3, 0, Outcome::echoSuppressed}));
    // A later poll still showing the slide changes nothing, and nothing times out.
    EXPECT_EQ(inTime.keynoteSlideObserved(3, mappings, 13), Decision::none());
    EXPECT_EQ(inTime.checkCommandTimeout(20), Decision::none());

    // Too late: a page turn by hand, and the command stays pending until it times out.
    SlideSyncReducer late = reducer;
    EXPECT_EQ(late.keynoteSlideObserved(3, mappings, 12.6), Decision::selectSection(0, Source::keynoteManual));
    EXPECT_EQ(late.checkCommandTimeout(12.6), Decision::conflict(SlideSyncReducer::timeoutMessage));
}

TEST(SlideSyncReducerTest, UnmappedSectionsSendNothing)
{
    const auto mappings = maps({std::nullopt, 2, 4});
    SlideSyncReducer reducer;
    for (qint64 section : {0, 3, -1})
        EXPECT_EQ(reducer.sectionChanged(section, mappings, Source::manualPrompt, 1), Decision::none());
    EXPECT_TRUE(reducer.auditTrail().empty());
}

TEST(SlideSyncReducerTest, PageTurnInKeynoteHoldsAutomationBackForTwoSeconds)
{
    const auto mappings = maps({1, 2, 3, 4});
    SlideSyncReducer reducer;
    EXPECT_EQ(reducer.keynoteSlideObserved(2, mappings, 20), Decision::selectSection(1, Source::keynoteManual));

    EXPECT_EQ(reducer.sectionChanged(2, mappings, Source::speech, 21.9), Decision::none());
    EXPECT_EQ(reducer.sectionChanged(2, mappings, Source::manualPrompt, 21), Decision::sendSlide(3, Source::manualPrompt));

    SlideSyncReducer atEnd = showing(2, mappings, 20);
    EXPECT_EQ(atEnd.sectionChanged(2, mappings, Source::keyword, 22.0), Decision::sendSlide(3, Source::keyword));
    // System and recovery changes are never held back.
    SlideSyncReducer system = showing(2, mappings, 20);
    EXPECT_EQ(system.sectionChanged(3, mappings, Source::system, 20.1), Decision::sendSlide(4, Source::system));
}

TEST(SlideSyncReducerTest, KeynoteMovingElsewhereWhileACommandIsPendingIsAManualOverride)
{
    const auto mappings = maps({1, 2, 3, 4, 5, 6});
    SlideSyncReducer reducer = showing(1, mappings, 0);
    ASSERT_EQ(reducer.sectionChanged(3, mappings, Source::speech, 10), Decision::sendSlide(4, Source::speech));
    EXPECT_EQ(reducer.keynoteSlideObserved(6, mappings, 11), Decision::selectSection(5, Source::keynoteManual));
    EXPECT_EQ(reducer.auditTrail().back(), (SyncAuditEvent{11, Source::keynoteManual, 6, 5, Outcome::manualOverride}));
    // The command is dropped, so it can no longer time out.
    EXPECT_EQ(reducer.checkCommandTimeout(20), Decision::none());

    // Keynote still showing the old slide is no override: the command waits for its echo.
    SlideSyncReducer waiting = showing(1, mappings, 0);
    waiting.sectionChanged(3, mappings, Source::speech, 10);
    EXPECT_EQ(waiting.keynoteSlideObserved(1, mappings, 10.5), Decision::none());
    EXPECT_EQ(waiting.keynoteSlideObserved(4, mappings, 11), Decision::none());
    EXPECT_EQ(waiting.auditTrail().back().outcome, Outcome::echoSuppressed);
}

TEST(SlideSyncReducerTest, TimeoutOrFailurePausesOnlyAutomationUntilResumed)
{
    const auto mappings = maps({1, 2, 3});
    SlideSyncReducer reducer = showing(1, mappings, 0);
    reducer.sectionChanged(1, mappings, Source::speech, 5);
    EXPECT_EQ(reducer.checkCommandTimeout(7.5), Decision::none());
    EXPECT_EQ(reducer.checkCommandTimeout(7.51), Decision::conflict(SlideSyncReducer::timeoutMessage));
    EXPECT_EQ(reducer.auditTrail().back(), (SyncAuditEvent{7.51, Source::speech, 2, 1, Outcome::conflict}));
    // The timed-out command is gone: its late report is a page turn, not an echo.
    EXPECT_EQ(reducer.keynoteSlideObserved(2, mappings, 7.6), Decision::selectSection(1, Source::keynoteManual));

    EXPECT_EQ(reducer.sectionChanged(2, mappings, Source::keyword, 30), Decision::none());
    EXPECT_EQ(reducer.auditTrail().back().outcome, Outcome::automaticSuppressed);
    EXPECT_EQ(reducer.sectionChanged(2, mappings, Source::manualPrompt, 30), Decision::sendSlide(3, Source::manualPrompt));

    reducer.resume(40);
    EXPECT_EQ(reducer.auditTrail().back(), (SyncAuditEvent{40, Source::recovery, 2, std::nullopt, Outcome::resumed}));
    // Resuming drops the pending command and holds automation back for 2 s.
    EXPECT_EQ(reducer.checkCommandTimeout(50), Decision::none());
    EXPECT_EQ(reducer.sectionChanged(0, mappings, Source::speech, 41.9), Decision::none());
    EXPECT_EQ(reducer.sectionChanged(0, mappings, Source::speech, 42), Decision::sendSlide(1, Source::speech));

    // A failure report takes the pending command.
    EXPECT_EQ(reducer.reportCommandFailure(1, 43), Decision::conflict(SlideSyncReducer::failureMessage));
    EXPECT_EQ(reducer.auditTrail().back(), (SyncAuditEvent{43, Source::speech, 1, 0, Outcome::conflict}));
}

TEST(SlideSyncReducerTest, SteppingBackToTheShownSlideWhileAnotherIsPendingSendsItAgain)
{
    const auto mappings = maps({3, 4});
    SlideSyncReducer reducer = showing(3, mappings, 0);
    ASSERT_EQ(reducer.sectionChanged(1, mappings, Source::speech, 10), Decision::sendSlide(4, Source::speech));
    // Keynote may already be on its way to 4: send 3 so both end on the same slide.
    EXPECT_EQ(reducer.sectionChanged(0, mappings, Source::manualPrompt, 10.3), Decision::sendSlide(3, Source::manualPrompt));
    EXPECT_EQ(reducer.keynoteSlideObserved(3, mappings, 10.6), Decision::none());
    EXPECT_EQ(reducer.auditTrail().back().outcome, Outcome::echoSuppressed);
    EXPECT_EQ(reducer.checkCommandTimeout(20), Decision::none());

    // The slide of the command in flight is sent again and its echo window restarts.
    const auto shared = maps({5, 5, 6});
    SlideSyncReducer awaiting = showing(1, shared, 0);
    ASSERT_EQ(awaiting.sectionChanged(0, shared, Source::speech, 10), Decision::sendSlide(5, Source::speech));
    EXPECT_EQ(awaiting.sectionChanged(1, shared, Source::speech, 11), Decision::sendSlide(5, Source::speech));
    EXPECT_EQ(awaiting.auditTrail().back(), (SyncAuditEvent{11, Source::speech, 5, 1, Outcome::commandSent}));
    EXPECT_EQ(awaiting.checkCommandTimeout(12.6), Decision::none());
    EXPECT_EQ(awaiting.checkCommandTimeout(13.5), Decision::none());
    EXPECT_EQ(awaiting.keynoteSlideObserved(5, shared, 13.5), Decision::none());
    EXPECT_EQ(awaiting.auditTrail().back(), (SyncAuditEvent{13.5, Source::commandEcho, 5, 1, Outcome::echoSuppressed}));
}

TEST(SlideSyncReducerTest, SharedSlideSelectsFirstOpenThenLastVisitedThenLastSection)
{
    const auto mappings = maps({1, 1, 1, 2});
    SlideSyncReducer reducer = showing(2, mappings, 0);
    reducer.markSectionCompleted(0);
    EXPECT_EQ(reducer.keynoteSlideObserved(1, mappings, 1), Decision::selectSection(1, Source::keynoteManual));

    SlideSyncReducer allDone = showing(2, mappings, 0);
    for (qint64 i : {0, 1, 2})
        allDone.markSectionCompleted(i);
    EXPECT_EQ(allDone.keynoteSlideObserved(1, mappings, 1), Decision::selectSection(2, Source::keynoteManual));
    allDone.sectionChanged(0, mappings, Source::keynoteManual, 2);
    allDone.keynoteSlideObserved(2, mappings, 3);
    EXPECT_EQ(allDone.keynoteSlideObserved(1, mappings, 4), Decision::selectSection(0, Source::keynoteManual));
    // The visit recorded for slide 1 no longer counts once that section is no candidate.
    allDone.keynoteSlideObserved(2, mappings, 5);
    EXPECT_EQ(allDone.keynoteSlideObserved(1, maps({2, 1, 1, 2}), 6), Decision::selectSection(2, Source::keynoteManual));
}

TEST(SlideSyncReducerTest, AuditTrailKeepsTheNewest120InOrder)
{
    SlideSyncReducer reducer;
    for (int i = 1; i <= 121; ++i)
        reducer.reportCommandFailure(i, i);
    ASSERT_EQ(reducer.auditTrail().size(), 120u);
    EXPECT_EQ(reducer.auditTrail().front().slideNumber, 2);
    EXPECT_EQ(reducer.auditTrail().back().slideNumber, 121);
}

// Long random runs of speech, manual and Keynote events: an echo never turns
// into a command, no command times out within the echo window of the last one
// sent, and the audit trail stays bounded.
TEST(SlideSyncReducerTest, RandomisedSequencesKeepTheInvariants)
{
    const Source sources[] = {Source::speech, Source::keyword,  Source::fixedScroll,   Source::manualPrompt,
                              Source::recovery, Source::system, Source::keynoteManual, Source::commandEcho};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        SlideMappings mappings;
        for (int i = 0, n = 2 + pick(8); i < n; ++i)
            mappings.push_back(pick(5) == 0 ? std::nullopt : std::optional<qint64>(1 + pick(6)));
        const int sections = static_cast<int>(mappings.size());

        SlideSyncReducer reducer;
        double now = 100;
        std::optional<std::pair<qint64, double>> awaited; // slide and time of the command in flight
        for (int step = 0; step < 3000; ++step) {
            now += pick(4) == 0 ? pick(30) / 10.0 : pick(5) / 10.0;
            const int action = pick(10);
            if (action < 4) {
                const Source source = sources[pick(8)];
                const Decision decision = reducer.sectionChanged(pick(sections + 1), mappings, source, now);
                if (decision.kind == Decision::Kind::sendSlide) {
                    ASSERT_TRUE(source != Source::keynoteManual && source != Source::commandEcho);
                    awaited = std::make_pair(decision.number, now);
                }
            } else if (action < 8) {
                const qint64 slide = awaited && pick(2) == 0 ? awaited->first : 1 + pick(6);
                const Decision decision = reducer.keynoteSlideObserved(slide, mappings, now);
                ASSERT_NE(decision.kind, Decision::Kind::sendSlide);
                const auto& trail = reducer.auditTrail();
                if (!trail.empty() && trail.back().timestamp == now
                    && (trail.back().outcome == Outcome::echoSuppressed || trail.back().outcome == Outcome::manualOverride))
                    awaited.reset();
                // The script follows Keynote and reports back; nothing may be sent in return.
                if (decision.kind == Decision::Kind::selectSection) {
                    ASSERT_EQ(reducer.sectionChanged(decision.number, mappings, Source::keynoteManual, now), Decision::none());
                }
            } else if (action == 8) {
                if (reducer.checkCommandTimeout(now).kind == Decision::Kind::conflict) {
                    ASSERT_TRUE(awaited && now - awaited->second > SlideSyncReducer::echoTimeout)
                        << "seed " << seed << " step " << step;
                    awaited.reset();
                }
            } else if (pick(3) == 0) {
                reducer.reportCommandFailure(1 + pick(6), now);
                awaited.reset();
            } else if (pick(2) == 0) {
                reducer.resume(now);
                awaited.reset();
            } else {
                reducer.markSectionCompleted(pick(sections));
            }
            ASSERT_LE(reducer.auditTrail().size(), SlideSyncReducer::auditTrailLimit);
        }
    }
}
