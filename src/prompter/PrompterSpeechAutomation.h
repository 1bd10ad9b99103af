#pragma once

#include "speech/SpeechAutomationNotifications.h"

#include <QString>

namespace quorvia {

// What the prompter window reads of the speech automation's status.
struct PrompterSpeechStatus {
    enum class Kind { calibrating, listening, degraded, unavailable, calibrationRequired, ready, questionPaused };

    Kind kind = Kind::ready;
    // The short status line, "语音：待命" and the like.
    QString title = QStringLiteral("语音：待命");
    // The hint sentence shown as the status's tool tip.
    QString detail;

    bool operator==(const PrompterSpeechStatus&) const = default;
};

// The speech automation commands the prompter window gives; the speech
// automation controller stands behind it.
class PrompterSpeechAutomation {
public:
    virtual ~PrompterSpeechAutomation() = default;

    virtual PrompterSpeechStatus status() const = 0;
    virtual void startSelectedMode() = 0;
    virtual void stopRecognition(bool preserveCalibration) = 0;
    virtual void toggleQuestionPause() = 0;
    virtual void resumeAfterLowConfidence() = 0;
    // The object that posts NotificationName::speechAutomationStatusChanged.
    virtual const void* notificationSender() const = 0;
};

} // namespace quorvia
