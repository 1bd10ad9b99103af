#pragma once

#include "prompter/PrompterSpeechAutomation.h"

#include "model/PromptMode.h"
#include "privacy/PresentationSafetyState.h"

#include <QString>

namespace quorvia {

// Everything the prompter window's toolbar shows, decided from the state of
// the script, the clock, speech automation, sync and the privacy output.
struct PrompterToolbarState {
    struct Inputs {
        PromptMode mode = PromptMode::fixedScroll;
        bool hasContent = false;
        bool automationAvailable = false;
        bool autoScrollRunning = false;
        QString speedText;
        bool canIncreaseSpeed = true;
        bool canDecreaseSpeed = true;
        PrompterSpeechStatus speech;
        bool canIncreaseFontSize = true;
        bool canDecreaseFontSize = true;
        bool syncEnabled = false;
        PresentationSafetyState safety;
    };

    QString speedLabel;
    QString toggleTitle;
    bool toggleEnabled = false;
    bool slowerEnabled = false;
    bool fasterEnabled = false;
    QString questionPauseTitle;
    bool questionPauseEnabled = false;
    bool smallerFontEnabled = false;
    bool largerFontEnabled = false;
    QString syncTitle;
    bool syncEnabled = false;

    static PrompterToolbarState make(const Inputs& in);
    // Listening or question-paused.
    static bool isSpeechActive(const PrompterSpeechStatus& status);

    static QString windowTitle(const QString& projectName);
    static QString badgeText(const QString& projectName, const QString& positionText);

    bool operator==(const PrompterToolbarState&) const = default;
};

} // namespace quorvia
