#include "privacy/ScreenMirrorEngine.h"

#include "platform/displays/DisplayService.h"
#include "platform/Platform.h"
#include "platform/desktop/Window.h"
#include "platform/system/Workspace.h"
#include "privacy/DisplayTopology.h"

#include <QSet>

namespace quorvia {

bool ScreenMirrorEngine::isKeynote(const QString& bundleIdentifier)
{
    static const QSet<QString> keynoteBundleIdentifiers{QStringLiteral("com.apple.Keynote"),
                                                        QStringLiteral("com.apple.iWork.Keynote")};
    return keynoteBundleIdentifiers.contains(bundleIdentifier);
}

ScreenMirrorEngine::ScreenMirrorEngine()
    : life_(std::make_shared<ScreenMirrorEngine*>(this)),
      captureQueue_(captureQueueLabel),
      lastThermalState_(platform::current().process().thermalState())
{
    auto& center = platform::current().workspace().notificationCenter();
    for (const QString& name : {platform::Workspace::didLaunchApplication, platform::Workspace::didTerminateApplication})
        keynoteLifecycleObservers_.push_back(
            center.observe(name, nullptr, [weak = weak()](const platform::Notification& notification) {
                if (auto* engine = alive(weak))
                    engine->handleApplicationLifecycleChange(notification);
            }));
}

ScreenMirrorEngine::~ScreenMirrorEngine()
{
    keynoteLifecycleObservers_.clear();
    life_.reset();
    if (platform::hasCurrent())
        releaseActivityAssertion();
}

ScreenMirrorEngine* ScreenMirrorEngine::alive(const WeakLife& weak)
{
    auto life = weak.lock();
    return life ? *life : nullptr;
}

void ScreenMirrorEngine::postFailClosed(const WeakLife& weak, const QString& reason)
{
    platform::MainQueue::async([weak, reason] {
        if (auto* engine = alive(weak))
            engine->failClosed(reason);
    });
}

std::vector<platform::Window*> ScreenMirrorEngine::audienceOutputWindows() const
{
    std::vector<platform::Window*> windows;
    if (auto* window = output_.window())
        windows.push_back(window);
    for (const auto& [id, aux] : auxiliaryOutputs_)
        if (auto* window = aux->window())
            windows.push_back(window);
    return windows;
}

void ScreenMirrorEngine::setSelectedExternalDisplayID(std::optional<platform::DisplayID> id)
{
    if (!platform::MainQueue::isMainThread())
        return;
    selectedExternalDisplayID_ = id;
}

void ScreenMirrorEngine::setIncludesOwnApplication(bool includes)
{
    // The filter of a running capture cannot change under it.
    if (!platform::MainQueue::isMainThread() || privacyOutputEnabled_)
        return;
    includesOwnApplication_ = includes;
}

void ScreenMirrorEngine::transition(const PresentationSafetyState& next)
{
    const bool changed = !(state_ == next);
    state_ = next;
    if (!changed)
        return;
    // Reported later, with the state current at delivery.
    platform::MainQueue::async([weak = weak()] {
        auto* engine = alive(weak);
        if (!engine)
            return;
        engine->updateActivityAssertion();
        if (engine->onStateChange)
            engine->onStateChange(engine->state_);
    });
}

std::optional<CaptureIdentity> ScreenMirrorEngine::currentCaptureIdentity() const
{
    return CaptureIdentity::current(selectedExternalDisplayID_);
}

void ScreenMirrorEngine::updateActivityAssertion()
{
    if (state_.isAudienceOutputActive() && (stream_ || output_.window())) {
        if (!activity_)
            activity_ = platform::current().process().beginActivity(
                {.userInitiated = true, .idleDisplaySleepDisabled = true}, QStringLiteral("保持观众输出可见"));
        return;
    }
    releaseActivityAssertion();
}

void ScreenMirrorEngine::releaseActivityAssertion()
{
    if (!activity_)
        return;
    platform::current().process().endActivity(*activity_);
    activity_.reset();
}

void ScreenMirrorEngine::showAuxiliarySafeOutputs(platform::DisplayID audienceID)
{
    const auto descriptors = DisplayTopology::externalDisplayDescriptors();
    QSet<platform::DisplayID> others;
    for (const auto& d : descriptors)
        if (d.id != audienceID)
            others.insert(d.id);
    for (auto it = auxiliaryOutputs_.begin(); it != auxiliaryOutputs_.end();) {
        if (!others.contains(it->first)) {
            it->second->destroy();
            it = auxiliaryOutputs_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& d : descriptors) {
        if (d.id == audienceID)
            continue;
        const auto screen = DisplayTopology::screen(d.id);
        if (!screen)
            continue;
        auto& aux = auxiliaryOutputs_[d.id];
        if (!aux)
            aux = std::make_unique<AudienceOutputWindowController>();
        aux->show(screen->frame, AudienceOutputMode::safe(QStringLiteral("此显示器未选择为观众输出")));
    }
}

void ScreenMirrorEngine::hideAuxiliaryOutputs()
{
    for (auto& [id, aux] : auxiliaryOutputs_)
        aux->hideImmediately();
}

void ScreenMirrorEngine::keepAudienceWindowsOnTheirDisplays()
{
    const auto speakers = DisplayTopology::safetyOverlayScreen();
    const bool mirroring = DisplayTopology::snapshot().isMirroring();
    // False when the display is gone and the window with it.
    const auto follow = [&](AudienceOutputWindowController& output, platform::DisplayID id) {
        const auto screen = DisplayTopology::screen(id);
        if (!screen) {
            output.destroy();
            return false;
        }
        const bool clear = !mirroring && !(speakers && speakers->frame.intersects(screen->frame));
        output.follow(clear ? std::optional(screen->frame) : std::nullopt);
        return true;
    };
    if (output_.window() && outputDisplayID_)
        follow(output_, *outputDisplayID_);
    std::erase_if(auxiliaryOutputs_, [&](const auto& entry) { return !follow(*entry.second, entry.first); });
}

void ScreenMirrorEngine::destroyAuxiliaryOutputs()
{
    for (auto& [id, aux] : auxiliaryOutputs_)
        aux->destroy();
    auxiliaryOutputs_.clear();
}

void ScreenMirrorEngine::handleApplicationLifecycleChange(const platform::Notification& notification)
{
    if (!privacyOutputEnabled_)
        return;
    const auto bundle = notification.userInfo.find(platform::Workspace::bundleIdentifierKey);
    if (bundle == notification.userInfo.end())
        return;
    if (isKeynote(bundle->toString()))
        failClosed(QStringLiteral("Keynote 运行状态已变化；请重新启动隐私输出"));
}

void ScreenMirrorEngine::stopStream(std::function<void()> completion)
{
    streamConfiguration_.reset();
    if (streamStop_->isStopping) {
        if (completion)
            streamStop_->waiters.push_back(std::move(completion));
        return;
    }
    if (!stream_) {
        if (completion)
            completion();
        return;
    }
    auto old = std::move(stream_);
    stream_.reset();
    streamStop_->isStopping = true;
    if (completion)
        streamStop_->waiters.push_back(std::move(completion));
    // Every concurrent caller waits for this one platform stop; its error is
    // ignored, the stream counts as stopped.
    old->stopCapture([stop = streamStop_](std::optional<platform::CaptureError>) {
        platform::MainQueue::async([stop] {
            stop->isStopping = false;
            auto waiters = std::move(stop->waiters);
            stop->waiters.clear();
            for (auto& waiter : waiters)
                waiter();
        });
    });
}

void ScreenMirrorEngine::stopHealthMonitoring()
{
    healthTimer_.reset();
    pointerTimer_.reset();
    heartbeat_ = CaptureHeartbeat();
}

void ScreenMirrorEngine::failClosed(const QString& reason)
{
    if (!platform::MainQueue::isMainThread()) {
        postFailClosed(weak(), reason);
        return;
    }
    if (isShutDown_)
        return;
    isStarting_ = false;
    if (!privacyOutputEnabled_) {
        stopHealthMonitoring();
        output_.destroy();
        stopStream(nullptr);
        transition(PresentationSafetyState::disabled());
        return;
    }

    const int generation = ++lifecycleGeneration_;
    if (onWillFailClosed)
        onWillFailClosed(reason);
    privacyOutputEnabled_ = false;
    stopHealthMonitoring();
    // The audience keeps the last frame, without the pointer, until capture
    // has really stopped.
    output_.setMode(AudienceOutputMode::frozen());
    transition(PresentationSafetyState::safeStopped(reason));
    const auto audienceID = captureIdentity_ ? std::optional(captureIdentity_->audienceID) : selectedExternalDisplayID_;
    stopStream([weak = weak(), generation, audienceID, reason] {
        if (auto* engine = alive(weak))
            engine->finishFailClosed(generation, audienceID, reason);
    });
}

void ScreenMirrorEngine::finishFailClosed(int generation, std::optional<platform::DisplayID> audienceID,
                                          const QString& reason)
{
    if (generation != lifecycleGeneration_)
        return;
    const auto screen = audienceID ? DisplayTopology::screen(*audienceID) : std::nullopt;
    if (screen && !DisplayTopology::snapshot().isMirroring()) {
        outputDisplayID_ = audienceID;
        output_.show(screen->frame, AudienceOutputMode::safe(reason));
    } else {
        output_.destroy();
    }
    destroyAuxiliaryOutputs();
    // Never over the speaker's screen, wherever the displays now stand.
    keepAudienceWindowsOnTheirDisplays();
    captureIdentity_.reset();
    transition(PresentationSafetyState::safeStopped(reason));
}

} // namespace quorvia
