#include "prompter/PrompterSpeechAutomationAdapter.h"

#include "speech/SpeechAutomationController.h"

namespace quorvia {

namespace {

PrompterSpeechStatus::Kind kindOf(SpeechAutomationStatus::Kind kind)
{
    using From = SpeechAutomationStatus::Kind;
    using To = PrompterSpeechStatus::Kind;
    switch (kind) {
    case From::calibrating: return To::calibrating;
    case From::listening: return To::listening;
    case From::degraded: return To::degraded;
    case From::unavailable: return To::unavailable;
    case From::calibrationRequired: return To::calibrationRequired;
    case From::ready: return To::ready;
    case From::questionPaused: return To::questionPaused;
    }
    return To::ready;
}

} // namespace

PrompterSpeechStatus PrompterSpeechAutomationAdapter::status() const
{
    const SpeechAutomationStatus& status = controller_.status();
    return {kindOf(status.kind), status.title(), status.detail()};
}

void PrompterSpeechAutomationAdapter::startSelectedMode() { controller_.startSelectedMode(); }

void PrompterSpeechAutomationAdapter::stopRecognition(bool preserveCalibration)
{
    controller_.stopRecognition(preserveCalibration);
}

void PrompterSpeechAutomationAdapter::toggleQuestionPause() { controller_.toggleQuestionPause(); }

void PrompterSpeechAutomationAdapter::resumeAfterLowConfidence() { controller_.resumeAfterLowConfidence(); }

} // namespace quorvia
