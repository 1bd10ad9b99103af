#include "platform/Platform.h"
#include "platform/desktop/PointerService.h"
#include "platform/desktop/Window.h"
#include "privacy/AudienceCanvasView.h"
#include "privacy/DisplayTopology.h"
#include "privacy/ScreenMirrorEngine.h"

#include <QSet>

namespace quorvia {

namespace {
const QString kSuspensionReason = QStringLiteral("捕获暂时挂起；观众端保持最后安全帧");
const QString kThermalReason = QStringLiteral("系统热状态较高；已降至 15 fps 并暂停自动化");

CaptureFrameSignal signalFor(int status)
{
    switch (static_cast<platform::FrameStatus>(status)) {
    case platform::FrameStatus::complete:
    case platform::FrameStatus::started:
        return CaptureFrameSignal::renderable;
    case platform::FrameStatus::idle:
        return CaptureFrameSignal::idle;
    case platform::FrameStatus::suspended:
        return CaptureFrameSignal::suspended;
    case platform::FrameStatus::blank:
        return CaptureFrameSignal::blank;
    case platform::FrameStatus::stopped:
        return CaptureFrameSignal::stopped;
    }
    return CaptureFrameSignal::unknown;
}
} // namespace

bool ScreenMirrorEngine::isSuspensionDegraded(const PresentationSafetyState& state)
{
    return state.isDegraded() && state.reason().startsWith(QStringLiteral("捕获暂时挂起"));
}

bool ScreenMirrorEngine::isThermalDegraded(const PresentationSafetyState& state)
{
    return state.isDegraded() && state.reason().startsWith(QStringLiteral("系统热状态"));
}

void ScreenMirrorEngine::startHealthMonitoring()
{
    stopHealthMonitoring();
    heartbeat_.begin(platform::uptime());
    healthTimer_ = platform::Timer::scheduled(0.5, true, [weak = weak()] {
        if (auto* engine = alive(weak))
            engine->checkHealth();
    });
    pointerTimer_ = platform::Timer::scheduled(1.0 / 30.0, true, [weak = weak()] {
        if (auto* engine = alive(weak))
            engine->updateAudiencePointer();
    });
}

void ScreenMirrorEngine::receiveFrame(platform::StreamID source, bool hasUsableStatus,
                                      const platform::SampleBuffer& buffer)
{
    const bool fromCurrentStream = stream_ && stream_->identifier() == source;
    if (!hasUsableStatus || !fromCurrentStream) {
        // A stray frame cannot be trusted while the output is on; once it is
        // off, it must not disturb a fail-closed stop or its reason.
        if (privacyOutputEnabled_)
            failClosed(QStringLiteral("捕获帧缺少有效状态"));
        return;
    }
    if (!privacyOutputEnabled_)
        return;
    handleFrame(*buffer.frameStatus, buffer);
}

void ScreenMirrorEngine::handleFrame(int status, const platform::SampleBuffer& buffer)
{
    const auto decision = heartbeat_.observe(signalFor(status), platform::uptime());
    if (decision.isFailClosed()) {
        failClosed(decision.reason());
        return;
    }
    switch (static_cast<platform::FrameStatus>(status)) {
    case platform::FrameStatus::idle:
        if (isSuspensionDegraded(state_)) {
            showLive();
            transition(PresentationSafetyState::live());
        }
        return;
    case platform::FrameStatus::suspended:
        // The pause has already frozen the picture; only a resume ends it.
        // The heartbeat still fails closed if the suspension outlasts its grace.
        if (state_.kind() == PresentationSafetyState::Kind::privacyPaused)
            return;
        output_.setMode(AudienceOutputMode::frozen());
        transition(PresentationSafetyState::degraded(kSuspensionReason));
        return;
    case platform::FrameStatus::complete:
    case platform::FrameStatus::started:
        if (!buffer.isValid || !buffer.hasImage()) {
            failClosed(QStringLiteral("捕获返回了无效画面"));
            return;
        }
        if (state_.kind() == PresentationSafetyState::Kind::privacyPaused)
            return;
        showLive();
        output_.enqueue(buffer);
        if (!hasReceivedRenderableFrame_) {
            hasReceivedRenderableFrame_ = true;
            transition(PresentationSafetyState::live());
        } else if (isSuspensionDegraded(state_)) {
            transition(PresentationSafetyState::live());
        }
        return;
    case platform::FrameStatus::blank:
    case platform::FrameStatus::stopped:
        return; // the heartbeat has failed closed
    }
}

void ScreenMirrorEngine::showLive()
{
    // Frames come many times a second; the window is told only of a change.
    const auto* canvas = output_.canvas();
    if (canvas && canvas->mode().kind != AudienceOutputMode::Kind::live)
        output_.setMode(AudienceOutputMode::live());
}

void ScreenMirrorEngine::checkHealth()
{
    if (!privacyOutputEnabled_ || !stream_)
        return;
    const auto decision = heartbeat_.check(platform::uptime());
    if (decision.isFailClosed()) {
        failClosed(decision.reason());
        return;
    }
    if (!output_.isRendererHealthy()) {
        failClosed(QStringLiteral("观众输出渲染器已失败"));
        return;
    }
    if (!arePrivateWindowsWithinSafeBounds || !arePrivateWindowsWithinSafeBounds()) {
        failClosed(QStringLiteral("无法确认全部私密窗口位于内置显示器"));
        return;
    }
    if (!audienceWindowIsInPlace()) {
        failClosed(QStringLiteral("观众输出窗口已离开所选外屏"));
        return;
    }
    if (!auxiliaryOutputsAreValid(captureIdentity_->audienceID)) {
        failClosed(QStringLiteral("未选择的外屏安全页已失效"));
        return;
    }
    applyThermalState();
}

namespace {
// The window is visible on the screen of that id and covers it exactly.
bool windowCoversScreen(const platform::Window* window, platform::DisplayID id)
{
    const auto screen = DisplayTopology::screen(id);
    if (!screen || !window || !window->isVisible())
        return false;
    auto windowScreen = platform::current().displays().screenContaining(window->frame());
    if (!windowScreen)
        windowScreen = screen;
    return windowScreen->displayID == id && window->frame() == windowScreen->frame;
}
} // namespace

bool ScreenMirrorEngine::audienceWindowIsInPlace() const
{
    return captureIdentity_ && windowCoversScreen(output_.window(), captureIdentity_->audienceID);
}

bool ScreenMirrorEngine::auxiliaryOutputsAreValid(platform::DisplayID selectedID) const
{
    QSet<platform::DisplayID> others;
    for (const auto& d : DisplayTopology::externalDisplayDescriptors())
        if (d.id != selectedID)
            others.insert(d.id);
    QSet<platform::DisplayID> keys;
    for (const auto& [id, aux] : auxiliaryOutputs_)
        keys.insert(id);
    if (keys != others)
        return false;
    for (platform::DisplayID id : others)
        if (!windowCoversScreen(auxiliaryOutputs_.at(id)->window(), id))
            return false;
    return true;
}

bool ScreenMirrorEngine::applyThermalState()
{
    const auto thermal = platform::current().process().thermalState();
    const bool changed = thermal != lastThermalState_;
    lastThermalState_ = thermal;
    switch (thermal) {
    case platform::ThermalState::nominal:
    case platform::ThermalState::fair:
        updateFrameRateIfNeeded(30);
        if (changed && isThermalDegraded(state_))
            transition(PresentationSafetyState::live());
        return true;
    case platform::ThermalState::serious:
        updateFrameRateIfNeeded(15);
        if (state_.kind() == PresentationSafetyState::Kind::live)
            transition(PresentationSafetyState::degraded(kThermalReason));
        return true;
    case platform::ThermalState::critical:
        failClosed(QStringLiteral("系统处于严重热状态，无法保证稳定输出"));
        return false;
    }
    failClosed(QStringLiteral("无法判断系统热状态"));
    return false;
}

void ScreenMirrorEngine::updateFrameRateIfNeeded(int fps)
{
    if (frameRate_ == fps || !stream_ || !streamConfiguration_)
        return;
    frameRate_ = fps;
    streamConfiguration_->minimumFrameInterval = {1, fps};
    // A rejection that arrives after this output ended must not touch a newer
    // one, nor turn a fail-closed stop into a plain stop.
    stream_->updateConfiguration(*streamConfiguration_,
                                 [weak = weak(), generation = lifecycleGeneration_](
                                     std::optional<platform::CaptureError> error) {
                                     if (!error)
                                         return;
                                     platform::MainQueue::async([weak, generation] {
                                         auto* engine = alive(weak);
                                         if (engine && engine->lifecycleGeneration_ == generation)
                                             engine->failClosed(QStringLiteral("捕获降级配置失败"));
                                     });
                                 });
}

void ScreenMirrorEngine::updateAudiencePointer()
{
    if (!privacyOutputEnabled_)
        return;
    if (state_.kind() != PresentationSafetyState::Kind::live && !isDegraded(state_))
        return;
    auto& pointer = platform::current().pointer();
    const platform::Point location = pointer.mouseLocation();
    const platform::CursorImage cursor = pointer.isApplicationActive() ? pointer.currentCursor()
                                                                       : pointer.arrowCursor();
    const bool suppressed = shouldSuppressPointer ? shouldSuppressPointer(location) : true;
    output_.updatePointer(location, cursor, suppressed);
}

} // namespace quorvia
