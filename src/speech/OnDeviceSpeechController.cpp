#include "speech/OnDeviceSpeechController.h"

#include "platform/sound/AnalyzerInputQueue.h"
#include "platform/sound/AudioService.h"
#include "platform/core/NotificationCenter.h"
#include "platform/system/PermissionService.h"
#include "platform/Platform.h"
#include "platform/sound/SpeechService.h"
#include "speech/AudioDeviceController.h"

namespace quorvia {

namespace {
const QString preparationFailed = QStringLiteral("语音识别准备失败，请检查麦克风和语音资源。");
const QString noPermission = QStringLiteral("未获得麦克风权限，请在系统设置中授权后重新校准。");
const QString noModel = QStringLiteral("当前系统没有可用的设备端中文语音模型。");
const QString noAssets = QStringLiteral("设备端中文语音资源尚未安装。");
const QString noFormat = QStringLiteral("设备端语音模型没有可用的音频格式。");
} // namespace

OnDeviceSpeechController::OnDeviceSpeechController(AudioDeviceController& audioDevices)
    : audioDevices_(audioDevices), queue_(QStringLiteral("com.local.quorvia.speech")),
      life_(std::make_shared<OnDeviceSpeechController*>(this))
{
}

OnDeviceSpeechController::~OnDeviceSpeechController()
{
    life_.reset();
    releaseRun();
}

void OnDeviceSpeechController::setState(OnDeviceSpeechState state)
{
    const bool changed = !(state == state_);
    state_ = std::move(state);
    if (!changed)
        return;
    platform::MainQueue::async([alive = Alive(life_)] {
        auto self = alive.lock();
        if (!self)
            return;
        auto& controller = **self;
        if (controller.onStateChange)
            controller.onStateChange(controller.state_);
        platform::NotificationCenter::defaultCenter().post(NotificationName::onDeviceSpeechStateChanged, &controller);
    });
}

void OnDeviceSpeechController::updateIfCurrent(const Alive& alive, std::int64_t generation, OnDeviceSpeechState state)
{
    platform::MainQueue::async([alive, generation, state = std::move(state)] {
        auto self = alive.lock();
        if (!self || (*self)->startGeneration_ != generation)
            return;
        // A failed run must not keep the microphone or a dead analyser.
        (*self)->releaseRun();
        (*self)->setState(state);
    });
}

void OnDeviceSpeechController::start()
{
    if (audioEngine_)
        return;
    const std::int64_t generation = ++startGeneration_;
    setState(OnDeviceSpeechState::preparing());
    queue_.async([alive = Alive(life_), generation, queue = queue_] { prepare(alive, generation, queue); });
}

void OnDeviceSpeechController::prepare(Alive alive, std::int64_t generation, platform::SerialQueue queue)
{
    if (alive.expired())
        return;
    auto& permissions = platform::current().permissions();
    switch (permissions.microphoneAuthorizationStatus()) {
    case platform::AuthorizationStatus::notDetermined:
        permissions.requestMicrophoneAccess([alive, generation, queue](bool granted) {
            queue.async([alive, generation, granted] { prepareWithPermission(alive, generation, granted); });
        });
        return;
    case platform::AuthorizationStatus::authorized:
        prepareWithPermission(alive, generation, true);
        return;
    default:
        prepareWithPermission(alive, generation, false);
        return;
    }
}

void OnDeviceSpeechController::prepareWithPermission(Alive alive, std::int64_t generation, bool granted)
{
    if (alive.expired())
        return;
    if (!granted)
        return updateIfCurrent(alive, generation, OnDeviceSpeechState::unavailable(noPermission));
    auto& speech = platform::current().speech();
    if (!speech.isAvailable())
        return updateIfCurrent(alive, generation, OnDeviceSpeechState::unavailable(noModel));
    const auto supported = speech.supportedLocale(locale);
    if (!supported)
        return updateIfCurrent(alive, generation, OnDeviceSpeechState::unavailable(noModel));
    auto transcriber = speech.makeTranscriber(*supported);
    if (!transcriber)
        return updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(preparationFailed));

    if (speech.assetStatus(*transcriber) != platform::SpeechAssetStatus::installed) {
        const auto request = speech.assetInstallationRequest(*transcriber);
        if (!request)
            return updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(preparationFailed));
        if (!*request)
            return updateIfCurrent(alive, generation, OnDeviceSpeechState::unavailable(noAssets));
        if (!(*request)->downloadAndInstall())
            return updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(preparationFailed));
    }
    if (!speech.reserve(*supported))
        return updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(preparationFailed));
    const auto format = speech.bestAvailableAudioFormat(*transcriber);
    if (!format)
        return updateIfCurrent(alive, generation, OnDeviceSpeechState::unavailable(noFormat));

    platform::MainQueue::async([alive, generation, transcriber, format = *format] {
        auto self = alive.lock();
        if (!self)
            return;
        if (!(*self)->startAudioAndAnalysis(transcriber, format, generation))
            updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(preparationFailed));
    });
}

void OnDeviceSpeechController::releaseRun()
{
    if (inputContinuation_) {
        inputContinuation_->finish();
        inputContinuation_.reset();
    }
    if (audioEngine_) {
        audioEngine_->removeTap();
        audioEngine_->stop();
        audioEngine_.reset();
    }
    if (analysisTask_) {
        analysisTask_->store(true);
        analysisTask_.reset();
    }
    if (resultsTask_) {
        resultsTask_->store(true);
        resultsTask_.reset();
    }
    if (analyzer_) {
        queue_.async([analyzer = std::move(analyzer_)] { analyzer->cancelAndFinishNow(); });
        analyzer_.reset();
    }
}

void OnDeviceSpeechController::stop()
{
    ++startGeneration_;
    releaseRun();
    setState(OnDeviceSpeechState::idle());
}

} // namespace quorvia
