#pragma once

#include "prompter/PrompterSpeechAutomation.h"

namespace quorvia {

// Speech automation as this build offers it: no recogniser stands behind the
// panel's and the prompter's speech buttons, so they say so and do nothing.
class UnavailableSpeechAutomation final : public PrompterSpeechAutomation {
public:
    PrompterSpeechStatus status() const override
    {
        return {PrompterSpeechStatus::Kind::unavailable, QStringLiteral("语音：不可用")};
    }
    void startSelectedMode() override {}
    void stopRecognition(bool) override {}
    void toggleQuestionPause() override {}
    void resumeAfterLowConfidence() override {}
    const void* notificationSender() const override { return this; }
};

} // namespace quorvia
