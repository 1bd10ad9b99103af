#include "ScreenMirrorEngineFixture.h"
#include "support/QtPrinting.h"

using namespace quorvia;
using namespace quorvia::test;
using platform::ThermalState;

class ScreenMirrorEngineHealth : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineHealth, NoFramesForMoreThanFourSecondsFailsClosed)
{
    startCapturing();
    clock().advance(4.0);
    EXPECT_EQ(state(), State::preflighting());
    deliver(FrameStatus::complete);
    // Idle frames keep the heartbeat alive but show nothing.
    for (int i = 0; i < 5; ++i)
        clock().advance(1.0), deliver(FrameStatus::idle);
    EXPECT_EQ(state(), State::live());
    EXPECT_EQ(surfaces.last()->enqueued, 1);
    clock().advance(4.5);
    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("捕获流心跳超时")));
}

TEST_F(ScreenMirrorEngineHealth, BadFramesFailClosedWithTheirReasons)
{
    using platform::StreamOutputType;

    const QString invalid = QStringLiteral("捕获返回了无效画面");
    const std::vector<std::tuple<platform::SampleBuffer, StreamOutputType, QString>> cases{
        {sampleFrame(int(FrameStatus::blank)), StreamOutputType::screen, QStringLiteral("ScreenCaptureKit 返回空白状态")},
        {sampleFrame(int(FrameStatus::stopped)), StreamOutputType::screen, QStringLiteral("ScreenCaptureKit 已停止输出")},
        {sampleFrame(9), StreamOutputType::screen, QStringLiteral("ScreenCaptureKit 返回未知帧状态")},
        {sampleFrame(std::nullopt), StreamOutputType::screen, kBadStatus},
        {sampleFrame(int(FrameStatus::complete)), StreamOutputType::audio, kBadStatus},
        {sampleFrame(int(FrameStatus::complete), false), StreamOutputType::screen, invalid},
        {sampleFrame(int(FrameStatus::started), true, false), StreamOutputType::screen, invalid},
    };
    for (const auto& [frame, type, reason] : cases) {
        SCOPED_TRACE(reason.toStdString());
        turnOff();
        startLive();
        deliverRaw(frame, type);
        EXPECT_EQ(state(), State::safeStopped(reason));
    }
}

// Each rule of the half-second check, broken on its own after a live start.
TEST_F(ScreenMirrorEngineHealth, EachHealthRuleFailsClosedWithItsReason)
{
    const QString windowAway = QStringLiteral("观众输出窗口已离开所选外屏");
    const std::vector<std::pair<std::function<void()>, QString>> rules{
        // The renderer is checked before the private windows.
        {[&] {
             privateWindowsSafe = false;
             surfaces.last()->forcedStatus = platform::VideoSurface::Status::failed;
         },
         QStringLiteral("观众输出渲染器已失败")},
        {[&] { privateWindowsSafe = false; }, QStringLiteral("无法确认全部私密窗口位于内置显示器")},
        {[&] { engine->arePrivateWindowsWithinSafeBounds = nullptr; },
         QStringLiteral("无法确认全部私密窗口位于内置显示器")},
        {[&] { window()->setFrame(platform::Rect(1440, 0, 1920, 1000)); }, windowAway},
        {[&] { window()->orderOut(); }, windowAway},
        {[&] { displays->plug(FakeDisplayService::external(kOther, QStringLiteral("Second"), kOtherFrame)); },
         QStringLiteral("未选择的外屏安全页已失效")},
        {[&] { process->thermal = ThermalState::critical; }, QStringLiteral("系统处于严重热状态，无法保证稳定输出")},
        {[&] { process->setThermalRaw(7); }, QStringLiteral("无法判断系统热状态")},
        {[&] { stream()->fail(); }, QStringLiteral("捕获流异常停止")},
    };
    for (const auto& [breakIt, reason] : rules) {
        SCOPED_TRACE(reason.toStdString());
        turnOff();
        displays->setScreens({FakeDisplayService::builtIn(kBuiltIn), FakeDisplayService::external(kAudience)});
        process->thermal = ThermalState::nominal;
        privateWindowsSafe = true;
        engine->arePrivateWindowsWithinSafeBounds = [this] { return privateWindowsSafe; };
        startLive();
        breakIt();
        clock().advance(0.5);
        EXPECT_EQ(state(), State::safeStopped(reason));
    }
}

TEST_F(ScreenMirrorEngineHealth, SeriousHeatHalvesTheRateUntilItCools)
{
    startLive();
    process->thermal = ThermalState::serious;
    clock().advance(0.5);
    ASSERT_EQ(stream()->updates.size(), 1u);
    EXPECT_EQ(stream()->updates[0].minimumFrameInterval, (platform::FrameInterval{1, 15}));
    clock().advance(0.5);
    EXPECT_EQ(stream()->updates.size(), 1u) << "reconfigured only when the rate changes";

    process->thermal = ThermalState::fair;
    clock().advance(0.5);
    EXPECT_EQ(stream()->updates.back().minimumFrameInterval, (platform::FrameInterval{1, 30}));
}

TEST_F(ScreenMirrorEngineHealth, RejectedRateChangeFailsClosedOnlyForItsOwnOutput)
{
    startLive();
    process->thermal = ThermalState::serious;
    clock().advance(0.5);
    // A rejection arriving after a fail-closed stop leaves the stop and its reason.
    failClosedAndStop(QStringLiteral("earlier"));
    ASSERT_TRUE(stream()->completeUpdate(platform::CaptureError::configurationRejected));
    clock().runPending();
    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("earlier")));
    EXPECT_EQ(mode(), Kind::safe);

    // The next output starts at 15 fps; its first cool check raises the rate, and is refused.
    process->thermal = ThermalState::nominal;
    turnOff();
    startLive();
    clock().advance(0.5);
    ASSERT_TRUE(stream()->completeUpdate(platform::CaptureError::configurationRejected));
    clock().runPending();
    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("捕获降级配置失败")));
}

TEST_F(ScreenMirrorEngineHealth, PointerFollowsOnlyWhileUnsuppressed)
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

// A privacy pause ends only by resuming; a late frame never disturbs a fail-closed stop.
class ScreenMirrorEngineStrayEvents : public ScreenMirrorEngineFixture {};

TEST_F(ScreenMirrorEngineStrayEvents, SuspendedFrameDuringThePauseKeepsItPausedAndFrozenWithinTheGrace)
{
    startLive();
    engine->privacyPause();
    for (auto status : {FrameStatus::suspended, FrameStatus::complete, FrameStatus::idle}) {
        deliver(status);
        EXPECT_EQ(state(), State::privacyPaused());
        EXPECT_EQ(mode(), Kind::frozen);
    }
    EXPECT_EQ(surfaces.last()->enqueued, 1); // only the frame before the pause

    engine->resumeAfterPrivacyPause();
    EXPECT_EQ(state(), State::live());
    EXPECT_EQ(mode(), Kind::live);

    // The heartbeat still fails closed past the suspension's grace.
    engine->privacyPause();
    deliver(FrameStatus::suspended);
    clock().advance(2.5);
    deliver(FrameStatus::suspended);
    EXPECT_EQ(state(), State::privacyPaused());
    clock().advance(1.0);
    EXPECT_EQ(state(), State::safeStopped(QStringLiteral("捕获流持续挂起，无法保证画面安全")));
}

TEST_F(ScreenMirrorEngineStrayEvents, ForeignFrameFailsClosedWhileOnAndLeavesTheStopAlone)
{
    startLive();
    auto* old = stream();
    turnOff();
    startLive();
    ASSERT_NE(old, stream());
    deliver(FrameStatus::complete, old);
    EXPECT_EQ(state(), State::safeStopped(kBadStatus));

    // Later frames of stopped streams erase neither the stop nor its reason.
    completeStop();
    for (auto* late : {old, stream()}) {
        deliver(FrameStatus::complete, late);
        deliver(FrameStatus::blank, late);
        deliverRaw(platform::SampleBuffer{}, platform::StreamOutputType::screen, late);
    }
    EXPECT_EQ(state(), State::safeStopped(kBadStatus));
    EXPECT_EQ(canvas()->mode().reason, kBadStatus);
    EXPECT_EQ(willFail.size(), 1u);
}
