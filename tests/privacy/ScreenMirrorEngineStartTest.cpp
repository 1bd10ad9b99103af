#include "ScreenMirrorEngineFixture.h"

using namespace quorvia;
using namespace quorvia::test;
using Kind = AudienceOutputMode::Kind;
using platform::FrameStatus;

namespace {
const QString kUnsafe = QStringLiteral("显示器拓扑或观众外屏选择不安全");
const QString kResume = QStringLiteral("恢复时显示器或捕获身份已变化");
const QString kTopology = QStringLiteral("显示器拔插、重排、缩放或主显示器配置已变化");
} // namespace

class ScreenMirrorEngineStart : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineStart, HappyPathThroughStandbyPreflightAndTheFirstFrame)
{
    engine->setPrivacyOutputEnabled(true);
    EXPECT_EQ(state(), PresentationSafetyState::disabled()); // never in the caller's turn
    clock().runPending();
    EXPECT_EQ(state(), PresentationSafetyState::standby());
    EXPECT_EQ(mode(), Kind::standby);
    EXPECT_EQ(window()->frame(), kAudienceFrame);

    clock().advance(0.49);
    EXPECT_EQ(capture->contentRequests, 0);
    clock().advance(0.01);
    EXPECT_EQ(state(), PresentationSafetyState::preflighting());
    EXPECT_EQ(mode(), Kind::safe);
    EXPECT_EQ(canvas()->mode().reason, QStringLiteral("正在验证捕获链路"));
    ASSERT_EQ(capture->contentRequests, 1);
    EXPECT_FALSE(capture->lastExcludingDesktopWindows);
    EXPECT_FALSE(capture->lastOnScreenWindowsOnly);

    ASSERT_TRUE(capture->answerContent());
    clock().runPending();
    ASSERT_EQ(capture->streams.size(), 1u);
    const auto& s = *stream();
    EXPECT_EQ(s.filter.display.displayID, kBuiltIn);
    ASSERT_EQ(s.filter.excludedApplications.size(), 2u);
    EXPECT_EQ(s.filter.excludedApplications[0].processID, process->pid);
    EXPECT_EQ(s.filter.excludedApplications[1].bundleIdentifier, QStringLiteral("com.apple.Keynote"));
    EXPECT_EQ(s.configuration.width, 1440);
    EXPECT_EQ(s.configuration.height, 900);
    EXPECT_EQ(s.configuration.minimumFrameInterval, (platform::FrameInterval{1, 30}));
    EXPECT_EQ(s.configuration.queueDepth, 3);
    EXPECT_FALSE(s.configuration.showsCursor);
    EXPECT_FALSE(s.configuration.capturesAudio);
    EXPECT_EQ(s.configuration.pixelFormat, platform::PixelFormat::bgra32);
    EXPECT_EQ(s.outputType, platform::StreamOutputType::screen);
    EXPECT_EQ(s.outputQueueLabel, ScreenMirrorEngine::captureQueueLabel);
    EXPECT_EQ(s.startRequests, 1);

    ASSERT_TRUE(stream()->completeStart());
    clock().runPending();
    EXPECT_EQ(mode(), Kind::live);
    EXPECT_EQ(state(), PresentationSafetyState::preflighting());

    deliver(FrameStatus::complete);
    EXPECT_EQ(state(), PresentationSafetyState::live());
    EXPECT_EQ(surfaces.last()->enqueued, 1);
    EXPECT_EQ(reported, (std::vector{PresentationSafetyState::standby(), PresentationSafetyState::preflighting(),
                                     PresentationSafetyState::live()}));
}

TEST_F(ScreenMirrorEngineStart, AppSharingKeepsOurOwnWindowsInThePicture)
{
    engine->setIncludesOwnApplication(true);
    capture->content.applications.erase(capture->content.applications.begin()); // own process not listed
    startLive();
    ASSERT_EQ(stream()->filter.excludedApplications.size(), 1u);
    EXPECT_EQ(stream()->filter.excludedApplications[0].bundleIdentifier, QStringLiteral("com.apple.Keynote"));
}

TEST_F(ScreenMirrorEngineStart, SwitchingOffDuringTheStandbyWaitStartsNoCapture)
{
    enable();
    disable();
    clock().advance(2.0);
    EXPECT_EQ(capture->contentRequests, 0);
    EXPECT_EQ(state(), PresentationSafetyState::disabled());
    EXPECT_EQ(window(), nullptr);
}

TEST_F(ScreenMirrorEngineStart, SwitchingOnTwiceBeforeTheMainQueueRunsStartsOnce)
{
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
    EXPECT_EQ(state(), PresentationSafetyState::live()); // nothing begins before the stop
    EXPECT_TRUE(engine->isPrivacyOutputEnabled());
    ASSERT_TRUE(old->completeStop());
    clock().runPending();
    // The old switch-off saw the newer generation and tore nothing down.
    EXPECT_EQ(state(), PresentationSafetyState::standby());
    EXPECT_EQ(mode(), Kind::standby);
    EXPECT_EQ(std::count(reported.begin(), reported.end(), PresentationSafetyState::disabled()), 0);
    clock().advance(0.5);
    EXPECT_EQ(capture->contentRequests, 2);
}

TEST_F(ScreenMirrorEngineStart, ResumeAfterTheAudienceScreenChangedFailsClosed)
{
    startLive();
    engine->privacyPause();
    displays->setFrame(kAudience, platform::Rect(1440, 0, 2560, 1440));
    engine->resumeAfterPrivacyPause();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(kResume));
}

TEST_F(ScreenMirrorEngineStart, ChangedMainDisplayFailsClosedAtTheTopologyCheck)
{
    startLive();
    engine->handleTopologyChange();
    EXPECT_EQ(state(), PresentationSafetyState::live());
    displays->setScreens({FakeDisplayService::external(kAudience), FakeDisplayService::builtIn(kBuiltIn)});
    engine->handleTopologyChange();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(kTopology));
}

TEST_F(ScreenMirrorEngineStart, AudienceUnpluggedDuringTheContentRequestAbandonsTheStart)
{
    enable();
    clock().advance(0.5);
    displays->unplug(kAudience);
    capture->answerContent();
    clock().runPending();
    EXPECT_TRUE(capture->streams.empty());
    EXPECT_EQ(state(), PresentationSafetyState::preflighting());
    engine->handleTopologyChange();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(kTopology));
    EXPECT_EQ(window(), nullptr); // the audience display is gone: no card
}

TEST_F(ScreenMirrorEngineStart, PermissionIsAskedForOnlyWhenMissing)
{
    permissions->screenCaptureGranted = false;
    permissions->screenRequestGrants = true;
    enable();
    clock().advance(0.5);
    EXPECT_EQ(permissions->screenRequests, 1);
    EXPECT_EQ(state(), PresentationSafetyState::preflighting());
    EXPECT_EQ(capture->contentRequests, 1);
}

TEST_F(ScreenMirrorEngineStart, ShutdownWithoutAStreamCompletesOnALaterTurn)
{
    enable();
    bool done = false;
    engine->shutdown([&] { done = true; });
    EXPECT_FALSE(done);
    clock().runPending();
    EXPECT_TRUE(done);
    EXPECT_EQ(window(), nullptr);
    EXPECT_EQ(state(), PresentationSafetyState::standby()); // shutdown reports nothing
}

TEST_F(ScreenMirrorEngineStart, ShutdownWaitsForTheStopAndReleasesEverything)
{
    startLive();
    reported.clear();
    bool done = false;
    engine->shutdown([&] { done = true; });
    EXPECT_FALSE(window()->isVisible());
    clock().advance(5.0);
    EXPECT_FALSE(done);
    completeStop();
    EXPECT_TRUE(done);
    EXPECT_EQ(window(), nullptr);
    EXPECT_TRUE(process->active.empty());
    EXPECT_EQ(state(), PresentationSafetyState::live());
    EXPECT_TRUE(reported.empty());
}

TEST_F(ScreenMirrorEngineStart, ShutdownCompletionArrivesEvenIfTheEngineGoesFirst)
{
    startLive();
    auto* s = stream();
    bool done = false;
    engine->shutdown([&] { done = true; });
    engine.reset();
    ASSERT_TRUE(s->completeStop());
    clock().runPending();
    EXPECT_TRUE(done);
}

// A superseded start's content reply, failure or success, touches
// neither a newer output nor a fail-closed stop.
class ScreenMirrorEngineSupersededStart : public ScreenMirrorEngineFixture,
                                          public ::testing::WithParamInterface<int> {
protected:
    void answerStale()
    {
        switch (GetParam()) {
        case 0:
            ASSERT_TRUE(capture->answerContent(std::unexpected(platform::CaptureError::contentUnavailable)));
            break;
        case 1: {
            auto content = capture->content;
            content.displays.clear();
            ASSERT_TRUE(capture->answerContent(content));
            break;
        }
        case 2: {
            auto content = capture->content;
            content.applications.clear();
            ASSERT_TRUE(capture->answerContent(content));
            break;
        }
        default:
            ASSERT_TRUE(capture->answerContent());
        }
        clock().runPending();
    }
};

TEST_P(ScreenMirrorEngineSupersededStart, DoesNotStopANewerOutput)
{
    enable();
    clock().advance(0.5);
    disable();
    enable();
    clock().advance(0.5);
    ASSERT_EQ(capture->pendingContentRequests(), 2u);
    answerStale();
    EXPECT_EQ(state(), PresentationSafetyState::preflighting());
    EXPECT_TRUE(engine->isPrivacyOutputEnabled());
    EXPECT_TRUE(capture->streams.empty());
    ASSERT_TRUE(capture->answerContent());
    clock().runPending();
    EXPECT_EQ(capture->streams.size(), 1u);
}

TEST_P(ScreenMirrorEngineSupersededStart, DoesNotTurnASafeStopIntoDisabled)
{
    enable();
    clock().advance(0.5);
    engine->failClosed(QStringLiteral("reason"));
    clock().runPending();
    answerStale();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("reason")));
    EXPECT_EQ(mode(), Kind::safe);
    EXPECT_TRUE(capture->streams.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryReply, ScreenMirrorEngineSupersededStart, ::testing::Values(0, 1, 2, 3));
