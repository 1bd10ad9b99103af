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

    QString detail() const { return QStringLiteral("此版本没有语音自动化；请使用固定滚动或手动翻页。"); }
    // Whether the speaker confirmed that the room heard the test tone; a
    // changed audio route asks again.
    bool outputRouteVerified = false;
    void audioRouteChanged() { outputRouteVerified = false; }
};

} // namespace quorvia
