#include "speech/SpeechAutomationController.h"

#include "model/PromptScript.h"
#include "speech/OnDeviceSpeechController.h"
#include "speech/SpeechAlignmentEngine.h"

#include <algorithm>
#include <limits>

namespace quorvia {

namespace {
const QString noContentMessage = QStringLiteral("请先准备至少一个稿件段落。");
const QString failedMessage = QStringLiteral("校准未通过（电平、识别匹配或延迟不足），请换麦克风重试，或降级为固定滚动/手动。");
} // namespace

void SpeechAutomationController::startCalibration()
{
    if (!script_.hasContent()) {
        setStatus(SpeechAutomationStatus::unavailable(noContentMessage));
        return;
    }
    stopRecognition(false);
    calibrationResultCount_ = 0;
    calibrationMaximumAlignment_ = 0.0;
    calibrationMaximumLevel_ = -120.0;
    calibrationFirstResultLatency_.reset();
    calibrationStartedAt_ = platform::uptime();

    auto secondsRemaining = std::make_shared<int>(calibrationDuration);
    setStatus(SpeechAutomationStatus::calibrating(*secondsRemaining));
    speech_.start();
    // The controller owns the timer, so the timer never outlives it.
    calibrationTimer_ = platform::Timer::scheduled(1.0, true, [this, secondsRemaining] { calibrationTick(secondsRemaining); });
}

void SpeechAutomationController::calibrationTick(const std::shared_ptr<int>& secondsRemaining)
{
    --*secondsRemaining;
    if (*secondsRemaining > 0) {
        setStatus(SpeechAutomationStatus::calibrating(*secondsRemaining));
        return;
    }
    calibrationTimer_.reset();
    finishCalibration();
}

void SpeechAutomationController::recordCalibrationResult()
{
    ++calibrationResultCount_;
    if (!calibrationFirstResultLatency_ && calibrationStartedAt_)
        calibrationFirstResultLatency_ = platform::uptime() - *calibrationStartedAt_;
    const SpeechAlignmentResult alignment = SpeechAlignmentEngine::align(recognizedText(), script_.currentText(), 0);
    calibrationMaximumAlignment_ = std::max(calibrationMaximumAlignment_, alignment.confidence);
}

void SpeechAutomationController::finishCalibration()
{
    calibrationTimer_.reset();
    speech_.stop();
    const double latency = calibrationFirstResultLatency_.value_or(std::numeric_limits<double>::infinity());
    const bool passed = calibrationMaximumLevel_ >= calibrationMinimumLevel && calibrationResultCount_ >= calibrationMinimumResults
        && calibrationMaximumAlignment_ >= calibrationMinimumAlignment && latency <= calibrationMaximumLatency;
    hasPassedCalibration_ = passed;
    setStatus(passed ? SpeechAutomationStatus::ready() : SpeechAutomationStatus::degraded(failedMessage));
    resetRollingRecognition();
}

void SpeechAutomationController::cancelCalibration()
{
    calibrationTimer_.reset();
    speech_.stop();
    setStatus(SpeechAutomationStatus::ready());
}

} // namespace quorvia
