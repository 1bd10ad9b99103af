#pragma once

#include "model/PresentationEventSource.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "privacy/PresentationSafetyState.h"
#include "speech/OnDeviceSpeechState.h"
#include "speech/SpeechAlignmentResult.h"
#include "speech/SpeechAutomationNotifications.h"
#include "speech/SpeechAutomationStatus.h"

#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace quorvia {

class AudioDeviceController;
class OnDeviceSpeechController;
class PromptScript;

// Lets the speaker's voice drive the script: starts and stops the recogniser,
// turns its results into spoken progress and section advances, and runs the
// microphone calibration. Follows only while the safety state is live.
// Main thread only.
class SpeechAutomationController {
public:
    // Rolling recognised text, in characters.
    static constexpr int finalizedWindow = 260;
    static constexpr int volatileWindow = 180;
    // Word follow: an alignment below either is low.
    static constexpr double lowConfidenceConfidence = 0.38;
    static constexpr int lowConfidenceMatches = 3;
    // The low-confidence pause needs this many net low results over this long.
    static constexpr int lowConfidenceCount = 5;
    static constexpr double lowConfidenceDuration = 3.0;
    // A result qualifies for completion at this progress ratio and confidence.
    static constexpr double completionRatio = 1.0;
    static constexpr double completionConfidence = 0.55;
    // A section completes after this many qualifying results over this long.
    static constexpr int completionEvidence = 2;
    static constexpr double completionHold = 1.0;
    // Keyword mode: the evaluation must stay complete this long.
    static constexpr double keywordHold = 1.2;

    // Calibration: length and pass thresholds.
    static constexpr int calibrationDuration = 8;
    static constexpr double calibrationMinimumLevel = -48.0;
    static constexpr int calibrationMinimumResults = 1;
    static constexpr double calibrationMinimumAlignment = 0.42;
    static constexpr double calibrationMaximumLatency = 4.0;

    SpeechAutomationController(PromptScript& script, OnDeviceSpeechController& speech, AudioDeviceController& audioDevices);
    ~SpeechAutomationController();
    SpeechAutomationController(const SpeechAutomationController&) = delete;
    SpeechAutomationController& operator=(const SpeechAutomationController&) = delete;

    const SpeechAutomationStatus& status() const { return status_; }
    bool hasPassedCalibration() const { return hasPassedCalibration_; }
    bool hasVerifiedOutputRoute() const { return hasVerifiedOutputRoute_; }

    void setSafetyState(const PresentationSafetyState& state);
    // True when following started; fixedScroll and a safety state other than live refuse.
    bool startSelectedMode();
    void stopRecognition(bool preserveCalibration = true);
    void toggleQuestionPause();
    void resumeAfterLowConfidence();
    // A microphone or output change: the route is no longer confirmed and recognition stops.
    void audioRouteChanged();
    // True only while the output in force is the system default; always announced.
    void setOutputRouteVerified(bool verified);
    void shutdown();

    void startCalibration();
    void cancelCalibration();

private:
    void handleRecognizerState(const OnDeviceSpeechState& state);
    void handle(const OnDeviceSpeechResult& result);
    void handleWordFollow(const OnDeviceSpeechResult& result);
    void handleKeywords(const OnDeviceSpeechResult& result);
    void recordCalibrationResult();
    // Aligns the rolling text with the current section and stores the progress.
    SpeechAlignmentResult align(const OnDeviceSpeechResult& result);
    void completeCurrentSection(PresentationEventSource source);
    void handleBlockChange();
    void resetRollingRecognition();
    // What following shows while the pauses stand as they do.
    SpeechAutomationStatus followingStatus() const;
    void calibrationTick(const std::shared_ptr<int>& secondsRemaining);
    void finishCalibration();
    QString recognizedText() const { return finalizedSpeech_ + volatileSpeech_; }
    void setStatus(const SpeechAutomationStatus& status);
    void postStatusChanged();

    PromptScript& script_;
    OnDeviceSpeechController& speech_;
    AudioDeviceController& audioDevices_;
    PresentationSafetyState safetyState_ = PresentationSafetyState::disabled();
    std::unique_ptr<platform::Timer> calibrationTimer_;
    std::optional<double> calibrationStartedAt_;
    int calibrationResultCount_ = 0;
    double calibrationMaximumAlignment_ = 0.0;
    double calibrationMaximumLevel_ = -120.0;
    std::optional<double> calibrationFirstResultLatency_;
    QString finalizedSpeech_;
    QString volatileSpeech_;
    int lowConfidenceCount_ = 0;
    std::optional<double> lowConfidenceStartedAt_;
    int completionEvidenceCount_ = 0;
    std::optional<double> completionStartedAt_;
    std::optional<double> keywordCompletionStartedAt_;
    platform::Observation scriptObserver_;
    std::optional<QUuid> observedBlockID_;
    bool isQuestionPaused_ = false;
    bool isLowConfidencePaused_ = false;
    bool hasPassedCalibration_ = true;
    bool hasVerifiedOutputRoute_ = false;
    SpeechAutomationStatus status_ = SpeechAutomationStatus::ready();
    // The recogniser's callbacks check it so they do nothing once the controller is gone.
    std::shared_ptr<SpeechAutomationController*> life_;
};

} // namespace quorvia
