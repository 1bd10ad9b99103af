#include "ScreenMirrorEngineFixture.h"

using namespace quorvia;
using namespace quorvia::test;
using Kind = AudienceOutputMode::Kind;
using platform::FrameStatus;
using platform::ThermalState;

namespace {
const QString kSuspended = QStringLiteral("捕获暂时挂起；观众端保持最后安全帧");
const QString kThermal = QStringLiteral("系统热状态较高；已降至 15 fps 并暂停自动化");
const QString kBadStatus = QStringLiteral("捕获帧缺少有效状态");
} // namespace

class ScreenMirrorEngineHealth : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineHealth, NoFramesForMoreThanFourSecondsFailsClosed)
{
    startCapturing();
    clock().advance(4.0);
    EXPECT_EQ(state(), PresentationSafetyState::preflighting());
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("捕获流心跳超时")));
}

TEST_F(ScreenMirrorEngineHealth, IdleFramesKeepTheHeartbeatAliveAndEndASuspension)
{
    startLive();
    for (int i = 0; i < 5; ++i) {
        clock().advance(1.0);
        deliver(FrameStatus::idle);
    }
    EXPECT_EQ(state(), PresentationSafetyState::live());

    deliver(FrameStatus::suspended);
    EXPECT_EQ(state(), PresentationSafetyState::degraded(kSuspended));
    EXPECT_EQ(mode(), Kind::frozen);
    deliver(FrameStatus::idle);
    EXPECT_EQ(state(), PresentationSafetyState::live());
    EXPECT_EQ(mode(), Kind::live);
}

TEST_F(ScreenMirrorEngineHealth, SuspensionLongerThanItsGraceFailsClosed)
{
    startLive();
    deliver(FrameStatus::suspended);
    clock().advance(2.0);
    deliver(FrameStatus::suspended);
    clock().advance(1.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("捕获流持续挂起，无法保证画面安全")));
}

TEST_F(ScreenMirrorEngineHealth, BadFramesFailClosedWithTheirReasons)
{
    struct Case {
        platform::SampleBuffer buffer;
        platform::StreamOutputType type;
        QString reason;
    };
    platform::SampleBuffer blank;
    blank.frameStatus = int(FrameStatus::blank);
    platform::SampleBuffer stopped;
    stopped.frameStatus = int(FrameStatus::stopped);
    platform::SampleBuffer unknown;
    unknown.frameStatus = 9;
    platform::SampleBuffer noStatus;
    noStatus.image = FakeCaptureStream::defaultImage();
    platform::SampleBuffer noImage;
    noImage.frameStatus = int(FrameStatus::complete);
    platform::SampleBuffer invalid;
    invalid.frameStatus = int(FrameStatus::started);
    invalid.image = FakeCaptureStream::defaultImage();
    invalid.isValid = false;
    platform::SampleBuffer audio;
    audio.frameStatus = int(FrameStatus::complete);
    audio.image = FakeCaptureStream::defaultImage();

    const std::vector<Case> cases{
        {blank, platform::StreamOutputType::screen, QStringLiteral("ScreenCaptureKit 返回空白状态")},
        {stopped, platform::StreamOutputType::screen, QStringLiteral("ScreenCaptureKit 已停止输出")},
        {unknown, platform::StreamOutputType::screen, QStringLiteral("ScreenCaptureKit 返回未知帧状态")},
        {noStatus, platform::StreamOutputType::screen, kBadStatus},
        {audio, platform::StreamOutputType::audio, kBadStatus},
        {noImage, platform::StreamOutputType::screen, QStringLiteral("捕获返回了无效画面")},
        {invalid, platform::StreamOutputType::screen, QStringLiteral("捕获返回了无效画面")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        turnOff();
        startLive();
        stream()->deliverRaw(c.buffer, c.type);
        clock().drainQueue(ScreenMirrorEngine::captureQueueLabel);
        clock().runPending();
        EXPECT_EQ(state(), PresentationSafetyState::safeStopped(c.reason));
    }
}

TEST_F(ScreenMirrorEngineHealth, RendererPlacementWindowAndSafePageRulesInOrder)
{
    startLive();
    privateWindowsSafe = false;
    surfaces.last()->forcedStatus = platform::VideoSurface::Status::failed;
    clock().advance(0.5);
    // The renderer is checked before the private windows.
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("观众输出渲染器已失败")));

    turnOff();
    startLive();
    engine->arePrivateWindowsWithinSafeBounds = nullptr;
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("无法确认全部私密窗口位于内置显示器")));
}

TEST_F(ScreenMirrorEngineHealth, AudienceWindowMustCoverTheChosenScreen)
{
    startLive();
    window()->setFrame(platform::Rect(1440, 0, 1920, 1000));
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("观众输出窗口已离开所选外屏")));

    turnOff();
    startLive();
    window()->orderOut();
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("观众输出窗口已离开所选外屏")));
}

TEST_F(ScreenMirrorEngineHealth, SafePagesMustMatchTheOtherExternalDisplays)
{
    startLive();
    // A display plugged in after the start has no safe page.
    displays->plug(FakeDisplayService::external(kOther, QStringLiteral("Second"), kOtherFrame));
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("未选择的外屏安全页已失效")));
}

TEST_F(ScreenMirrorEngineHealth, SeriousHeatHalvesTheRateAndDegradesUntilItCools)
{
    startLive();
    process->thermal = ThermalState::serious;
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::degraded(kThermal));
    EXPECT_EQ(engine->frameRate(), 15);
    ASSERT_EQ(stream()->updates.size(), 1u);
    EXPECT_EQ(stream()->updates[0].minimumFrameInterval, (platform::FrameInterval{1, 15}));
    // Frames keep flowing; the stream is reconfigured only when the rate changes.
    deliver(FrameStatus::complete);
    clock().advance(0.5);
    EXPECT_EQ(stream()->updates.size(), 1u);
    EXPECT_EQ(state(), PresentationSafetyState::degraded(kThermal));

    process->thermal = ThermalState::fair;
    deliver(FrameStatus::complete);
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::live());
    EXPECT_EQ(engine->frameRate(), 30);
    EXPECT_EQ(stream()->updates.back().minimumFrameInterval, (platform::FrameInterval{1, 30}));
}

TEST_F(ScreenMirrorEngineHealth, CriticalOrUnknownHeatFailsClosed)
{
    startLive();
    process->thermal = ThermalState::critical;
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("系统处于严重热状态，无法保证稳定输出")));

    turnOff();
    process->setThermalRaw(7);
    startLive();
    clock().advance(0.5);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("无法判断系统热状态")));
}

TEST_F(ScreenMirrorEngineHealth, RejectedRateChangeFailsClosedOnlyForItsOwnOutput)
{
    startLive();
    process->thermal = ThermalState::serious;
    clock().advance(0.5);
    ASSERT_TRUE(stream()->completeUpdate(platform::CaptureError::configurationRejected));
    clock().runPending();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("捕获降级配置失败")));

    // A rejection arriving after a fail-closed stop leaves the stop and its reason.
    process->thermal = ThermalState::nominal;
    turnOff();
    startLive();
    // The new output starts at the rate the last one ended with; a cool check raises it.
    EXPECT_EQ(stream()->configuration.minimumFrameInterval, (platform::FrameInterval{1, 15}));
    clock().advance(0.5);
    ASSERT_TRUE(stream()->completeUpdate());
    EXPECT_EQ(engine->frameRate(), 30);
    process->thermal = ThermalState::serious;
    clock().advance(0.5);
    engine->failClosed(QStringLiteral("earlier"));
    completeStop();
    ASSERT_TRUE(stream()->completeUpdate(platform::CaptureError::configurationRejected));
    clock().runPending();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("earlier")));
    EXPECT_EQ(mode(), Kind::safe);
}

TEST_F(ScreenMirrorEngineHealth, StreamStoppingOnItsOwnFailsClosed)
{
    startLive();
    stream()->fail();
    EXPECT_EQ(state(), PresentationSafetyState::live()); // acted on from the main queue
    clock().runPending();
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("捕获流异常停止")));
}

TEST_F(ScreenMirrorEngineHealth, PointerFollowsOnlyWhileLiveOrDegradedAndUnsuppressed)
{
    startLive();
    pointer->location = {720, 450};
    clock().advance(1.0 / 30.0 + 1e-6);
    EXPECT_TRUE(canvas()->isPointerShown());

    suppressPointer = true;
    clock().advance(1.0 / 30.0);
    EXPECT_FALSE(canvas()->isPointerShown());

    suppressPointer = false;
    engine->shouldSuppressPointer = nullptr; // without the callback the pointer stays hidden
    clock().advance(1.0 / 30.0);
    EXPECT_FALSE(canvas()->isPointerShown());
}

TEST_F(ScreenMirrorEngineHealth, TheApplicationsCursorOnlyWhileItIsActive)
{
    pointer->current.hotSpot = {7, 7};
    pointer->current.size = {30, 30};
    startLive();
    pointer->location = {720, 450};
    clock().advance(1.0 / 30.0 + 1e-6);
    EXPECT_EQ(canvas()->pointerGeometry().size(), QSize(18, 24)); // the arrow, at least 18 wide
    pointer->active = true;
    clock().advance(1.0 / 30.0);
    EXPECT_EQ(canvas()->pointerGeometry().size(), QSize(30, 30));
}

// A privacy pause ends only by resuming, and a late frame never
// disturbs a fail-closed stop.
class ScreenMirrorEngineStrayEvents : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineStrayEvents, SuspendedFrameDuringThePauseKeepsItPausedAndFrozen)
{
    startLive();
    engine->privacyPause();
    deliver(FrameStatus::suspended);
    EXPECT_EQ(state(), PresentationSafetyState::privacyPaused());
    EXPECT_EQ(mode(), Kind::frozen);
    deliver(FrameStatus::complete);
    deliver(FrameStatus::idle);
    EXPECT_EQ(state(), PresentationSafetyState::privacyPaused());
    EXPECT_EQ(mode(), Kind::frozen);
    EXPECT_EQ(surfaces.last()->enqueued, 1); // only the frame before the pause

    engine->resumeAfterPrivacyPause();
    EXPECT_EQ(state(), PresentationSafetyState::live());
    EXPECT_EQ(mode(), Kind::live);
}

TEST_F(ScreenMirrorEngineStrayEvents, SuspensionDuringThePauseStillFailsClosedPastItsGrace)
{
    startLive();
    engine->privacyPause();
    deliver(FrameStatus::suspended);
    clock().advance(2.5);
    deliver(FrameStatus::suspended);
    EXPECT_EQ(state(), PresentationSafetyState::privacyPaused());
    clock().advance(1.0);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("捕获流持续挂起，无法保证画面安全")));
}

TEST_F(ScreenMirrorEngineStrayEvents, LateFrameOfAStoppedStreamLeavesTheFailClosedStop)
{
    startLive();
    auto* old = stream();
    engine->failClosed(QStringLiteral("reason"));
    completeStop();
    for (auto status : {FrameStatus::complete, FrameStatus::blank}) {
        deliver(status, old);
        platform::SampleBuffer noStatus;
        old->deliverRaw(noStatus);
        clock().drainQueue(ScreenMirrorEngine::captureQueueLabel);
        clock().runPending();
    }
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(QStringLiteral("reason")));
    EXPECT_EQ(mode(), Kind::safe);
    EXPECT_EQ(canvas()->mode().reason, QStringLiteral("reason"));
    EXPECT_EQ(willFail.size(), 1u);
}

TEST_F(ScreenMirrorEngineStrayEvents, ForeignFrameWhileTheOutputIsOnFailsClosed)
{
    startLive();
    auto* old = stream();
    turnOff();
    startLive();
    ASSERT_NE(old, stream());
    deliver(FrameStatus::complete, old);
    EXPECT_EQ(state(), PresentationSafetyState::safeStopped(kBadStatus));
}
