#include "platform/system/PermissionService.h"
#include "platform/Platform.h"
#include "privacy/DisplayTopology.h"
#include "privacy/ScreenMirrorEngine.h"

namespace quorvia {

namespace {
const QString kUnsafeTopology = QStringLiteral("显示器拓扑或观众外屏选择不安全");
} // namespace

void ScreenMirrorEngine::setPrivacyOutputEnabled(bool enabled)
{
    platform::MainQueue::async([weak = weak(), enabled] {
        auto* engine = alive(weak);
        if (!engine || engine->isShutDown_)
            return;
        if (enabled)
            engine->enable();
        else
            engine->disable();
    });
}

void ScreenMirrorEngine::enable()
{
    isStarting_ = false;
    if (privacyOutputEnabled_)
        return;
    const int generation = ++lifecycleGeneration_;
    privacyOutputEnabled_ = true;
    hasReceivedRenderableFrame_ = false;
    // A superseded stop may never have cleared the previous output's identity.
    captureIdentity_.reset();
    heartbeat_ = CaptureHeartbeat();
    auto begin = [weak = weak(), generation] {
        auto* engine = alive(weak);
        if (engine && engine->lifecycleGeneration_ == generation && engine->privacyOutputEnabled_)
            engine->beginPrivacyOutput(generation);
    };
    // A stop still in flight finishes before the new output begins.
    if (streamStop_->isStopping)
        stopStream(std::move(begin));
    else
        begin();
}

void ScreenMirrorEngine::disable()
{
    isStarting_ = false;
    const int generation = ++lifecycleGeneration_;
    privacyOutputEnabled_ = false;
    stopHealthMonitoring();
    output_.hideImmediately();
    hideAuxiliaryOutputs();
    stopStream([weak = weak(), generation] {
        auto* engine = alive(weak);
        if (!engine || engine->lifecycleGeneration_ != generation)
            return;
        engine->output_.destroy();
        engine->destroyAuxiliaryOutputs();
        engine->captureIdentity_.reset();
        engine->transition(PresentationSafetyState::disabled());
    });
}

void ScreenMirrorEngine::beginPrivacyOutput(int generation)
{
    if (generation != lifecycleGeneration_ || !privacyOutputEnabled_)
        return;
    const auto identity = currentCaptureIdentity();
    const auto audience = identity ? DisplayTopology::screen(identity->audienceID) : std::nullopt;
    if (!identity || !audience) {
        failClosed(kUnsafeTopology);
        return;
    }
    isStarting_ = true;
    outputDisplayID_ = identity->audienceID;
    output_.show(audience->frame, AudienceOutputMode::standby());
    showAuxiliarySafeOutputs(identity->audienceID);
    transition(PresentationSafetyState::standby());
    platform::MainQueue::asyncAfter(0.5, [weak = weak(), generation] {
        auto* engine = alive(weak);
        if (!engine || engine->lifecycleGeneration_ != generation || !engine->privacyOutputEnabled_
            || !(engine->state_ == PresentationSafetyState::standby()))
            return;
        engine->isStarting_ = false;
        engine->startPrivacyOutput();
    });
}

void ScreenMirrorEngine::startPrivacyOutput()
{
    if (!platform::MainQueue::isMainThread())
        return;
    if (isShutDown_ || !privacyOutputEnabled_ || stream_ || isStarting_)
        return;
    isStarting_ = true;
    const int generation = lifecycleGeneration_;
    transition(PresentationSafetyState::preflighting());

    const auto identity = currentCaptureIdentity();
    const auto builtIn = identity ? DisplayTopology::screen(identity->builtInID) : std::nullopt;
    const auto audience = identity ? DisplayTopology::screen(identity->audienceID) : std::nullopt;
    if (!identity || !builtIn || !audience) {
        failClosed(kUnsafeTopology);
        return;
    }
    captureIdentity_ = identity;

    auto& permissions = platform::current().permissions();
    if (!permissions.preflightScreenCaptureAccess() && !permissions.requestScreenCaptureAccess()) {
        failClosed(QStringLiteral("未获得屏幕录制权限；授权后请彻底重启应用"));
        return;
    }

    outputDisplayID_ = identity->audienceID;
    output_.show(audience->frame, AudienceOutputMode::safe(QStringLiteral("正在验证捕获链路")));
    showAuxiliarySafeOutputs(identity->audienceID);
    output_.configurePointerSource(builtIn->frame);

    // The reply may come on any thread: it reads only what it was given here,
    // and every outcome, failures included, is acted on from the main queue
    // only while this start is still the current, enabled one.
    const qint64 ownProcess = platform::current().process().processIdentifier();
    const bool includesOwn = includesOwnApplication_;
    const WeakLife weakEngine = weak();
    auto failIfCurrent = [weakEngine, generation](const QString& reason) {
        platform::MainQueue::async([weakEngine, generation, reason] {
            auto* engine = alive(weakEngine);
            if (engine && engine->lifecycleGeneration_ == generation && engine->privacyOutputEnabled_)
                engine->failClosed(reason);
        });
    };
    platform::current().capture().shareableContent(
        false, false,
        [weakEngine, generation, identity = *identity, ownProcess, includesOwn,
         failIfCurrent](std::expected<platform::ShareableContent, platform::CaptureError> content) {
            if (!content) {
                failIfCurrent(QStringLiteral("无法读取可捕获内容"));
                return;
            }
            const auto display = DisplayTopology::shareableDisplay(identity.builtInID, *content);
            if (!display) {
                failIfCurrent(QStringLiteral("无法确认内置显示器"));
                return;
            }
            std::vector<platform::ShareableApplication> excluded;
            bool ownExcluded = false;
            for (const auto& app : content->applications) {
                const bool own = !includesOwn && app.processID == ownProcess;
                if (isKeynote(app.bundleIdentifier) || own)
                    excluded.push_back(app);
                ownExcluded = ownExcluded || own;
            }
            if (!includesOwn && !ownExcluded) {
                failIfCurrent(QStringLiteral("无法确认本应用过滤目标"));
                return;
            }
            platform::MainQueue::async([weakEngine, generation, identity, display = *display, excluded] {
                auto* engine = alive(weakEngine);
                if (!engine || engine->lifecycleGeneration_ != generation || !engine->privacyOutputEnabled_
                    || engine->captureIdentity_ != identity || engine->stream_)
                    return;
                const auto audience = DisplayTopology::screen(identity.audienceID);
                if (!audience)
                    return; // abandoned; the next topology check fails the output closed
                engine->configureStream(display, excluded, audience->frame, generation);
            });
        });
}

void ScreenMirrorEngine::configureStream(const platform::ShareableDisplay& display,
                                         const std::vector<platform::ShareableApplication>& excluded,
                                         const platform::Rect& externalScreenFrame, int generation)
{
    platform::StreamConfiguration configuration;
    configuration.width = display.width;
    configuration.height = display.height;
    configuration.minimumFrameInterval = {1, frameRate_};
    configuration.queueDepth = 3;
    configuration.pixelFormat = platform::PixelFormat::bgra32;
    // The audience window draws the pointer itself.
    configuration.showsCursor = false;
    configuration.capturesAudio = false;

    const WeakLife weakEngine = weak();
    auto stream = platform::current().capture().makeStream(
        {display, excluded}, configuration, [weakEngine](platform::StreamID source, platform::CaptureError) {
            platform::MainQueue::async([weakEngine, source] {
                auto* engine = alive(weakEngine);
                if (engine && engine->stream_ && engine->stream_->identifier() == source
                    && engine->privacyOutputEnabled_)
                    engine->failClosed(QStringLiteral("捕获流异常停止"));
            });
        });

    // On the capture queue only the frame's own status is examined; whether it
    // belongs to the current stream is decided on the main queue.
    auto added = stream->addStreamOutput(
        platform::StreamOutputType::screen, captureQueue_,
        [weakEngine](platform::StreamID source, const platform::SampleBuffer& buffer, platform::StreamOutputType type) {
            const bool usable = type == platform::StreamOutputType::screen && buffer.frameStatus.has_value();
            platform::MainQueue::async([weakEngine, source, usable, buffer] {
                if (auto* engine = alive(weakEngine))
                    engine->receiveFrame(source, usable, buffer);
            });
        });
    if (!added) {
        failClosed(QStringLiteral("无法建立捕获输出"));
        return;
    }
    stream_ = stream;
    streamConfiguration_ = configuration;

    const platform::StreamID id = stream->identifier();
    stream->startCapture([weakEngine, generation, id, externalScreenFrame](std::optional<platform::CaptureError> error) {
        platform::MainQueue::async([weakEngine, generation, id, externalScreenFrame, failed = error.has_value()] {
            auto* engine = alive(weakEngine);
            if (!engine || engine->lifecycleGeneration_ != generation || !engine->stream_
                || engine->stream_->identifier() != id)
                return;
            if (failed) {
                engine->failClosed(QStringLiteral("捕获启动失败"));
                return;
            }
            if (!engine->privacyOutputEnabled_)
                return;
            engine->isStarting_ = false;
            // Frames may have come first and a pause or suspension may hold the
            // picture by now: only a start still in progress goes live here.
            const auto kind = engine->state_.kind();
            if (kind == PresentationSafetyState::Kind::preflighting || kind == PresentationSafetyState::Kind::live)
                engine->output_.show(externalScreenFrame, AudienceOutputMode::live());
            engine->startHealthMonitoring();
        });
    });
}

void ScreenMirrorEngine::privacyPause()
{
    if (!platform::MainQueue::isMainThread())
        return;
    if (privacyOutputEnabled_ && stream_
        && (state_.kind() == PresentationSafetyState::Kind::live || isDegraded(state_))) {
        output_.setMode(AudienceOutputMode::frozen());
        transition(PresentationSafetyState::privacyPaused());
    }
}

void ScreenMirrorEngine::resumeAfterPrivacyPause()
{
    if (!platform::MainQueue::isMainThread() || isShutDown_)
        return;
    if (privacyOutputEnabled_ && stream_ && state_.kind() == PresentationSafetyState::Kind::privacyPaused
        && captureIdentity_ == currentCaptureIdentity()) {
        output_.setMode(AudienceOutputMode::live());
        transition(PresentationSafetyState::live());
        return;
    }
    failClosed(QStringLiteral("恢复时显示器或捕获身份已变化"));
}

void ScreenMirrorEngine::handleTopologyChange()
{
    if (!platform::MainQueue::isMainThread()) {
        platform::MainQueue::async([weak = weak()] {
            if (auto* engine = alive(weak))
                engine->handleTopologyChange();
        });
        return;
    }
    if (!privacyOutputEnabled_)
        return;
    if (captureIdentity_) {
        if (captureIdentity_ != currentCaptureIdentity())
            failClosed(QStringLiteral("显示器拔插、重排、缩放或主显示器配置已变化"));
        return;
    }
    if (!isStarting_)
        failClosed(QStringLiteral("捕获身份缺失"));
}

void ScreenMirrorEngine::shutdown(std::function<void()> completion)
{
    isShutDown_ = true;
    ++lifecycleGeneration_;
    privacyOutputEnabled_ = false;
    isStarting_ = false;
    stopHealthMonitoring();
    output_.hideImmediately();
    hideAuxiliaryOutputs();
    stopStream([weak = weak(), completion = std::move(completion)]() mutable {
        // One more turn of the main queue, so the caller never finishes in its own turn.
        platform::MainQueue::async([weak, completion = std::move(completion)] {
            if (auto* engine = alive(weak)) {
                engine->output_.destroy();
                engine->destroyAuxiliaryOutputs();
                engine->captureIdentity_.reset();
                engine->releaseActivityAssertion();
            }
            if (completion)
                completion();
        });
    });
}

} // namespace quorvia
