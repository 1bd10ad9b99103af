#include "ScreenMirrorEngineFixture.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;

class ScreenMirrorEngineStart : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineStart, HappyPathThroughStandbyPreflightAndTheFirstFrame)
{
    engine->setPrivacyOutputEnabled(true);
    EXPECT_EQ(state(), State::disabled()); // never in the caller's turn
    clock().runPending();
    EXPECT_EQ(state(), State::standby());
    EXPECT_EQ(mode(), Kind::standby);
    EXPECT_EQ(window()->frame(), kAudienceFrame);

    clock().advance(0.49);
    EXPECT_EQ(capture->contentRequests, 0);
    clock().advance(0.01);
    EXPECT_EQ(state(), State::preflighting());
    EXPECT_EQ(canvas()->mode().reason, QStringLiteral("正在验证捕获链路"));
    ASSERT_EQ(capture->contentRequests, 1);

    ASSERT_TRUE(capture->answerContent());
    clock().runPending();
    const auto& s = *stream();
    EXPECT_EQ(s.filter.display.displayID, kBuiltIn);
    ASSERT_EQ(s.filter.excludedApplications.size(), 2u);
    EXPECT_EQ(s.filter.excludedApplications[0].processID, process->pid);
    EXPECT_EQ(s.filter.excludedApplications[1].bundleIdentifier, QStringLiteral("com.apple.Keynote"));
    EXPECT_EQ(s.configuration.minimumFrameInterval, (platform::FrameInterval{1, 30}));
    EXPECT_EQ(s.configuration.queueDepth, 3);
    EXPECT_FALSE(s.configuration.showsCursor);

    ASSERT_TRUE(stream()->completeStart());
    clock().runPending();
    EXPECT_EQ(mode(), Kind::live);
    EXPECT_EQ(state(), State::preflighting());

    deliver(FrameStatus::complete);
    EXPECT_EQ(state(), State::live());
    EXPECT_EQ(surfaces.last()->enqueued, 1);
    EXPECT_EQ(reported, (std::vector{State::standby(), State::preflighting(), State::live()}));
}

TEST_F(ScreenMirrorEngineStart, AppSharingKeepsOurOwnWindowsInThePicture)
{
    engine->setIncludesOwnApplication(true);
    capture->content.applications.erase(capture->content.applications.begin()); // own process not listed
    startLive();
    ASSERT_EQ(stream()->filter.excludedApplications.size(), 1u);
    EXPECT_EQ(stream()->filter.excludedApplications[0].bundleIdentifier, QStringLiteral("com.apple.Keynote"));
}

TEST_F(ScreenMirrorEngineStart, RequestsThatMustNotStartCaptureTwiceOrEarly)
{
    // Switched off during the standby wait: no capture.
    enable();
    disable();
    clock().advance(2.0);
    EXPECT_EQ(capture->contentRequests, 0);
    EXPECT_EQ(window(), nullptr);

    // Switched on twice before the main queue runs: one start.
    engine->setPrivacyOutputEnabled(true);
    engine->setPrivacyOutputEnabled(true);
    clock().advance(0.5);
    EXPECT_EQ(capture->contentRequests, 1);
    capture->answerContent();
    clock().runPending();
    EXPECT_EQ(capture->streams.size(), 1u);
}

TEST_F(ScreenMirrorEngineStart, SwitchingOnWhileAStopIsPendingWaitsForIt)
{
    startLive();
    auto* old = stream();
    disable();
    enable();
    EXPECT_EQ(state(), State::live()); // nothing begins before the stop
    ASSERT_TRUE(old->completeStop());
    clock().runPending();
    // The old switch-off saw the newer generation and tore nothing down.
    EXPECT_EQ(state(), State::standby());
    EXPECT_EQ(mode(), Kind::standby);
    EXPECT_EQ(std::count(reported.begin(), reported.end(), State::disabled()), 0);
}

TEST_F(ScreenMirrorEngineStart, ShutdownCompletesOnlyOnALaterTurnAfterTheStop)
{
    enable();
    bool done = false;
    engine->shutdown([&] { done = true; });
    EXPECT_FALSE(done); // even without a stream
    clock().runPending();
    EXPECT_TRUE(done);
    EXPECT_EQ(window(), nullptr);

    makeEngine();
    startLive();
    done = false;
    engine->shutdown([&] { done = true; });
    EXPECT_FALSE(window()->isVisible());
    clock().advance(5.0);
    EXPECT_FALSE(done);
    completeStop();
    EXPECT_TRUE(done);
    EXPECT_EQ(window(), nullptr);
    EXPECT_TRUE(process->active.empty());

    // The completion arrives even if the engine goes first.
    makeEngine();
    startLive();
    auto* s = stream();
    done = false;
    engine->shutdown([&] { done = true; });
    engine.reset();
    ASSERT_TRUE(s->completeStop());
    clock().runPending();
    EXPECT_TRUE(done);
}

TEST_F(ScreenMirrorEngineStart, ShutdownIsFinalForRequestsPostedBeforeOrAfterIt)
{
    engine->setPrivacyOutputEnabled(true); // posted before the shutdown, runs after it
    bool done = false;
    engine->shutdown([&] { done = true; });
    clock().advance(2.0);
    ASSERT_TRUE(done);
    engine->setPrivacyOutputEnabled(true);
    engine->resumeAfterPrivacyPause();
    engine->failClosed(QStringLiteral("reason"));
    clock().advance(2.0);
    EXPECT_FALSE(engine->isPrivacyOutputEnabled());
    EXPECT_EQ(capture->contentRequests, 0);
    EXPECT_TRUE(capture->streams.empty());
    EXPECT_EQ(window(), nullptr);
    EXPECT_TRUE(reported.empty());
    EXPECT_TRUE(willFail.empty());
}

// Frames may arrive before the start completion; a pause or suspension they
// led to keeps the picture held when the completion comes.
TEST_F(ScreenMirrorEngineStart, StartCompletionDoesNotUndoAPauseOrSuspensionThatCameFirst)
{
    for (const bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "paused" : "suspended");
        preflighting();
        ASSERT_TRUE(capture->answerContent());
        clock().runPending();
        deliver(FrameStatus::complete);
        ASSERT_EQ(state(), State::live());
        if (pause)
            engine->privacyPause();
        else
            deliver(FrameStatus::suspended);
        clock().runPending();
        ASSERT_EQ(mode(), Kind::frozen);
        ASSERT_TRUE(stream()->completeStart());
        clock().runPending();
        EXPECT_EQ(mode(), Kind::frozen);
        EXPECT_EQ(state(), pause ? State::privacyPaused() : State::degraded(kSuspended));
        turnOff();
    }
}

TEST_F(ScreenMirrorEngineStart, ANewStartDoesNotCheckTheDisplaysAgainstAFailedOutputsIdentity)
{
    startLive();
    auto* old = stream();
    engine->failClosed(QStringLiteral("reason"));
    clock().runPending();
    // The displays change while the stop is still pending; then the speaker starts again.
    displays->setScreens({FakeDisplayService::builtIn(kBuiltIn),
                          FakeDisplayService::external(kAudience, QStringLiteral("Projector"),
                                                       platform::Rect(1440, 0, 1280, 720))});
    enable();
    ASSERT_TRUE(old->completeStop());
    clock().runPending();
    ASSERT_EQ(state(), State::standby());
    engine->handleTopologyChange();
    clock().runPending();
    EXPECT_EQ(state(), State::standby());
    clock().advance(0.5);
    EXPECT_EQ(state(), State::preflighting());
    EXPECT_EQ(engine->captureIdentity()->audienceFrame, platform::Rect(1440, 0, 1280, 720));
}

// A superseded start's content reply touches neither a newer output nor a fail-closed stop.
class ScreenMirrorEngineSupersededStart : public ScreenMirrorEngineFixture,
                                          public ::testing::WithParamInterface<int> {
protected:
    void answerStale()
    {
        auto content = capture->content;
        if (GetParam() == 1)
            content.displays.clear();
        if (GetParam() == 2)
            content.applications.clear();
        if (GetParam() == 0)
            ASSERT_TRUE(capture->answerContent(std::unexpected(platform::CaptureError::contentUnavailable)));
        else
            ASSERT_TRUE(capture->answerContent(content));
        clock().runPending();
    }
};

TEST_P(ScreenMirrorEngineSupersededStart, DoesNotStopANewerOutput)
{
    preflighting();
    disable();
    preflighting();
    ASSERT_EQ(capture->pendingContentRequests(), 2u);
    answerStale();
    EXPECT_EQ(state(), State::preflighting());
    EXPECT_TRUE(capture->streams.empty());
    ASSERT_TRUE(capture->answerContent());
    clock().runPending();
    EXPECT_EQ(capture->streams.size(), 1u);
}

TEST_P(ScreenMirrorEngineSupersededStart, DoesNotTurnASafeStopIntoDisabled)
{
    preflighting();
    engine->failClosed(QStringLiteral("reason"));
    clock().runPending();
    answerStale();
    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("reason")));
    EXPECT_EQ(mode(), Kind::safe);
    EXPECT_TRUE(capture->streams.empty());
}

// Failed content, no built-in display, own process missing, success.
INSTANTIATE_TEST_SUITE_P(EveryReply, ScreenMirrorEngineSupersededStart, ::testing::Values(0, 1, 2, 3));
