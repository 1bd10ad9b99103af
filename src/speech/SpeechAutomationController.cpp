#include "speech/SpeechAutomationController.h"

#include "model/PromptScript.h"
#include "speech/AudioDeviceController.h"
#include "speech/OnDeviceSpeechController.h"

namespace quorvia {

namespace {
const QString onlyLiveMayStart = QStringLiteral("只有正式演讲状态允许启动语音自动化。");
} // namespace

SpeechAutomationController::SpeechAutomationController(PromptScript& script, OnDeviceSpeechController& speech,
                                                       AudioDeviceController& audioDevices)
    : script_(script), speech_(speech), audioDevices_(audioDevices), life_(std::make_shared<SpeechAutomationController*>(this))
{
    if (const auto block = script_.currentBlock())
        observedBlockID_ = block->id;

    std::weak_ptr<SpeechAutomationController*> weak = life_;
    speech_.onResult = [weak](const OnDeviceSpeechResult& result) {
        if (const auto self = weak.lock())
            (*self)->handle(result);
    };
    speech_.onInputLevel = [weak](double level) {
        if (const auto self = weak.lock())
            (*self)->calibrationMaximumLevel_ = std::max((*self)->calibrationMaximumLevel_, level);
    };
    speech_.onStateChange = [weak](const OnDeviceSpeechState& state) {
        if (const auto self = weak.lock())
            (*self)->handleRecognizerState(state);
    };

    scriptObserver_ = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::promptScriptChanged, &script_, [weak](const platform::Notification&) {
            if (const auto self = weak.lock())
                (*self)->handleBlockChange();
        });
}

SpeechAutomationController::~SpeechAutomationController()
{
    life_.reset();
    speech_.onResult = nullptr;
    speech_.onInputLevel = nullptr;
    speech_.onStateChange = nullptr;
}

void SpeechAutomationController::handleRecognizerState(const OnDeviceSpeechState& state)
{
    if (state.kind != OnDeviceSpeechState::Kind::unavailable && state.kind != OnDeviceSpeechState::Kind::failed)
        return;
    // `state` may be the recogniser's own, which stopping clears.
    const QString message = state.message;
    // A dead recogniser is let go, so nothing claims to listen over it and the
    // next start prepares it afresh.
    speech_.stop();
    setStatus(SpeechAutomationStatus::unavailable(message));
}

void SpeechAutomationController::setSafetyState(const PresentationSafetyState& state)
{
    safetyState_ = state;
    if (state.kind() != PresentationSafetyState::Kind::live)
        stopRecognition(true);
}

bool SpeechAutomationController::startSelectedMode()
{
    const PromptMode mode = script_.promptMode();
    if (mode == PromptMode::fixedScroll)
        return false;
    if (safetyState_.kind() != PresentationSafetyState::Kind::live) {
        setStatus(SpeechAutomationStatus::unavailable(onlyLiveMayStart));
        return false;
    }
    resetRollingRecognition();
    isQuestionPaused_ = false;
    isLowConfidencePaused_ = false;
    speech_.start();
    setStatus(SpeechAutomationStatus::listening(mode));
    return true;
}

void SpeechAutomationController::stopRecognition(bool preserveCalibration)
{
    calibrationTimer_.reset();
    speech_.stop();
    resetRollingRecognition();
    if (!preserveCalibration)
        hasPassedCalibration_ = false;
    setStatus(SpeechAutomationStatus::ready());
}

void SpeechAutomationController::resetRollingRecognition()
{
    finalizedSpeech_.clear();
    volatileSpeech_.clear();
    lowConfidenceCount_ = 0;
    completionEvidenceCount_ = 0;
    lowConfidenceStartedAt_.reset();
    completionStartedAt_.reset();
    keywordCompletionStartedAt_.reset();
}

void SpeechAutomationController::toggleQuestionPause()
{
    isQuestionPaused_ = !isQuestionPaused_;
    setStatus(followingStatus());
}

void SpeechAutomationController::resumeAfterLowConfidence()
{
    isLowConfidencePaused_ = false;
    lowConfidenceCount_ = 0;
    lowConfidenceStartedAt_.reset();
    completionEvidenceCount_ = 0;
    completionStartedAt_.reset();
    setStatus(followingStatus());
}

void SpeechAutomationController::audioRouteChanged()
{
    hasVerifiedOutputRoute_ = false;
    stopRecognition(true);
    setStatus(SpeechAutomationStatus::ready());
}

void SpeechAutomationController::setOutputRouteVerified(bool verified)
{
    hasVerifiedOutputRoute_ = verified && audioDevices_.selectedOutputIsSystemDefault();
    // Unconditional, so observers re-read the flag even when the status stayed.
    postStatusChanged();
}

void SpeechAutomationController::shutdown()
{
    calibrationTimer_.reset();
    speech_.stop();
}

void SpeechAutomationController::handleBlockChange()
{
    std::optional<QUuid> blockID;
    if (const auto block = script_.currentBlock())
        blockID = block->id;
    if (blockID == observedBlockID_)
        return;
    observedBlockID_ = blockID;
    resetRollingRecognition();
    isLowConfidencePaused_ = false;

    const auto kind = status_.kind;
    const bool following = kind == SpeechAutomationStatus::Kind::listening || kind == SpeechAutomationStatus::Kind::degraded
        || kind == SpeechAutomationStatus::Kind::questionPaused;
    if (following && script_.hasContent())
        setStatus(followingStatus());
}

void SpeechAutomationController::setStatus(const SpeechAutomationStatus& status)
{
    if (status == status_)
        return;
    status_ = status;
    postStatusChanged();
}

void SpeechAutomationController::postStatusChanged()
{
    platform::NotificationCenter::defaultCenter().post(NotificationName::speechAutomationStatusChanged, this);
}

} // namespace quorvia
