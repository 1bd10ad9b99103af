#pragma once

#include "platform/Platform.h"
#include "platform/desktop/Window.h"
#include "privacy/AudienceCanvasView.h"
#include "privacy/ScreenMirrorEngine.h"
#include "PrivacyFakes.h"

#include <gtest/gtest.h>

namespace quorvia {

// Reaches the engine's private stream stop.
struct ScreenMirrorEngineTestPeer {
    static void stopStream(ScreenMirrorEngine& engine, std::function<void()> completion)
    {
        engine.stopStream(std::move(completion));
    }
};

namespace test {

constexpr platform::DisplayID kBuiltIn = 1;
constexpr platform::DisplayID kAudience = 2;
constexpr platform::DisplayID kOther = 3;
const platform::Rect kAudienceFrame(1440, 0, 1920, 1080);
const platform::Rect kOtherFrame(3360, 0, 1280, 1024);

const QString kSuspended = QStringLiteral("捕获暂时挂起；观众端保持最后安全帧");
const QString kThermal = QStringLiteral("系统热状态较高；已降至 15 fps 并暂停自动化");
const QString kBadStatus = QStringLiteral("捕获帧缺少有效状态");
const QString kUnsafe = QStringLiteral("显示器拓扑或观众外屏选择不安全");
const QString kResume = QStringLiteral("恢复时显示器或捕获身份已变化");
const QString kTopology = QStringLiteral("显示器拔插、重排、缩放或主显示器配置已变化");
const QString kKeynoteChanged = QStringLiteral("Keynote 运行状态已变化；请重新启动隐私输出");

using Kind = AudienceOutputMode::Kind;
using State = PresentationSafetyState;
using platform::FrameStatus;

// One engine on fakes: a built-in screen, an audience display, everything shareable.
struct ScreenMirrorEngineFixture : ::testing::Test, PrivacyFakes {
    ScreenMirrorEngineFixture()
    {
        displays->setScreens({FakeDisplayService::builtIn(kBuiltIn), FakeDisplayService::external(kAudience)});
        shareEverything();
        makeEngine();
    }

    // A new engine in place of the current one (a shut-down engine stays off).
    void makeEngine()
    {
        engine = std::make_unique<ScreenMirrorEngine>();
        engine->onStateChange = [this](const PresentationSafetyState& s) { reported.push_back(s); };
        engine->onWillFailClosed = [this](const QString& reason) {
            // What the owner sees at that moment.
            willFail.push_back(reason);
            stateAtWillFail.push_back(engine->currentState());
            modeAtWillFail.push_back(canvas() ? std::optional(canvas()->mode().kind) : std::nullopt);
        };
        engine->shouldSuppressPointer = [this](platform::Point) { return suppressPointer; };
        engine->arePrivateWindowsWithinSafeBounds = [this] { return privateWindowsSafe; };
        engine->setSelectedExternalDisplayID(kAudience);
    }

    AudienceCanvasView* canvas() const { return engine->output().canvas(); }
    platform::Window* window() const { return engine->output().window(); }
    FakeCaptureStream* stream() const { return capture->lastStream(); }
    PresentationSafetyState state() const { return engine->currentState(); }
    std::optional<AudienceOutputMode::Kind> mode() const
    {
        return canvas() ? std::optional(canvas()->mode().kind) : std::nullopt;
    }

    void enable()
    {
        engine->setPrivacyOutputEnabled(true);
        clock().runPending();
    }
    void disable()
    {
        engine->setPrivacyOutputEnabled(false);
        clock().runPending();
    }
    // Through the standby wait, the content request unanswered.
    void preflighting()
    {
        enable();
        clock().advance(0.5);
    }
    // Through the standby wait to a running stream, before any frame.
    void startCapturing()
    {
        preflighting();
        ASSERT_TRUE(capture->answerContent());
        clock().runPending();
        ASSERT_NE(stream(), nullptr);
        ASSERT_TRUE(stream()->completeStart());
        clock().runPending();
    }
    void deliver(platform::FrameStatus status, FakeCaptureStream* from = nullptr)
    {
        deliverRaw(sampleFrame(int(status)), platform::StreamOutputType::screen, from);
    }
    void deliverRaw(const platform::SampleBuffer& buffer, platform::StreamOutputType type,
                    FakeCaptureStream* from = nullptr)
    {
        (from ? from : stream())->deliverRaw(buffer, type);
        clock().drainQueue(ScreenMirrorEngine::captureQueueLabel);
        clock().runPending();
    }
    void startLive()
    {
        startCapturing();
        deliver(platform::FrameStatus::complete);
        ASSERT_EQ(state(), PresentationSafetyState::live());
    }
    // Switched off with any stop confirmed, ready for a new start.
    void turnOff()
    {
        disable();
        if (stream())
            stream()->completeStop();
        clock().runPending();
    }
    void completeStop()
    {
        ASSERT_TRUE(stream()->completeStop());
        clock().runPending();
    }
    // A fail-closed stop carried through to its end.
    void failClosedAndStop(const QString& reason)
    {
        engine->failClosed(reason);
        if (stream())
            stream()->completeStop();
        clock().runPending();
    }

    std::unique_ptr<ScreenMirrorEngine> engine;

    std::vector<PresentationSafetyState> reported;
    std::vector<QString> willFail;
    std::vector<PresentationSafetyState> stateAtWillFail;
    std::vector<std::optional<AudienceOutputMode::Kind>> modeAtWillFail;
    bool suppressPointer = false;
    bool privateWindowsSafe = true;
};

} // namespace test
} // namespace quorvia
