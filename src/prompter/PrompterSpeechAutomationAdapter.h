#pragma once

#include "prompter/PrompterSpeechAutomation.h"

namespace quorvia {

class SpeechAutomationController;

// Hands the prompter window and the presentation panel the real speech
// automation controller; the speech folder knows nothing of the prompter.
class PrompterSpeechAutomationAdapter final : public PrompterSpeechAutomation {
public:
    explicit PrompterSpeechAutomationAdapter(SpeechAutomationController& controller) : controller_(controller) {}

    PrompterSpeechStatus status() const override;
    void startSelectedMode() override;
    void stopRecognition(bool preserveCalibration) override;
    void toggleQuestionPause() override;
    void resumeAfterLowConfidence() override;
    // The controller itself posts the status notification.
    const void* notificationSender() const override { return &controller_; }

private:
    SpeechAutomationController& controller_;
};

} // namespace quorvia
