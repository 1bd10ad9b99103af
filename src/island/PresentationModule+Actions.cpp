#include "island/PresentationModule.h"

#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "platform/core/Uuid.h"
#include "privacy/DisplaySelectionController.h"
#include "prompter/AutoScrollController.h"
#include "prompter/PrompterHost.h"
#include "prompter/ScriptScrollView.h"
#include "prompter/PrompterSpeechAutomation.h"

#include <QComboBox>

namespace quorvia {

namespace panel = presentation_panel;

namespace {
void raise(const std::function<void()>& callback)
{
    if (callback)
        callback();
}

std::optional<QString> selectedKey(QComboBox* popup)
{
    if (!popup || popup->currentIndex() < 0)
        return std::nullopt;
    const QVariant data = popup->currentData();
    if (data.typeId() != QMetaType::QString)
        return std::nullopt;
    return data.toString();
}
} // namespace

void PresentationModule::togglePrivacyOutputPressed()
{
    if (panel::isOutputOff(currentState_) || currentState_.isSafeStopped())
        raise(onStartPrivacyOutput);
    else
        raise(onStopPrivacyOutput);
}

void PresentationModule::startPrivacyOutputPressed() { raise(onStartPrivacyOutput); }
void PresentationModule::stopPrivacyOutputPressed() { raise(onStopPrivacyOutput); }
void PresentationModule::togglePlacementPressed() { raise(onTogglePrompterPlacement); }
void PresentationModule::editScriptPressed() { raise(onEditScript); }
void PresentationModule::openScriptManagementPressed() { raise(onOpenScriptManagement); }
void PresentationModule::toggleAppSharingPressed() { raise(onToggleAppSharing); }
void PresentationModule::openAudioSetupPressed() { raise(onOpenAudioSetup); }
void PresentationModule::createProjectPressed() { raise(onCreateProject); }
void PresentationModule::renameProjectPressed() { raise(onRenameProject); }
void PresentationModule::deleteProjectPressed() { raise(onDeleteProject); }
void PresentationModule::duplicateProjectPressed() { raise(onDuplicateProject); }
void PresentationModule::importProjectBackupPressed() { raise(onImportProjectBackup); }
void PresentationModule::exportProjectBackupPressed() { raise(onExportProjectBackup); }

void PresentationModule::importDeckPressed()
{
    if (panel::isOutputOff(currentState_) && !isImportingDeck_)
        raise(onImportKeynoteDocument);
}

void PresentationModule::replaceKeynoteNotesPressed()
{
    if (!isWritingKeynoteNotes_)
        raise(onReplaceKeynoteNotes);
}

void PresentationModule::restoreKeynoteNotesPressed()
{
    if (!isWritingKeynoteNotes_)
        raise(onRestoreKeynoteNotes);
}

void PresentationModule::toggleAudiencePreviewPressed()
{
    if (currentState_.allowsAudiencePreview())
        raise(onToggleAudiencePreview);
}

void PresentationModule::projectSelectionChanged(QComboBox* popup)
{
    const auto key = selectedKey(popup);
    if (!key)
        return;
    const auto id = platform::parseUuid(*key);
    if (!id)
        return;
    if (onSelectProject && onSelectProject(*id))
        return;
    updateProjectControls();
}

void PresentationModule::refreshKeynotePressed()
{
    if (panel::isOutputOffOrLive(currentState_))
        keynoteController_.refresh();
}

void PresentationModule::jumpKeynotePressed()
{
    if (!panel::isOutputOffOrLive(currentState_))
        return;
    const auto slide = script_.slideNumber(script_.currentIndex());
    if (!slide)
        return;
    PresentationPanelSnapshot s;
    s.keynote = keynoteController_.state();
    s.deck = script_.deck();
    s.documentIdentity = keynoteController_.documentIdentity();
    if (!panel::isDeckVerified(s))
        return;
    keynoteController_.goToSlide(int(*slide), nullptr);
}

void PresentationModule::toggleKeynotePlaybackPressed()
{
    const KeynoteConnectionState& state = keynoteController_.state();
    if (!state.isReady())
        return;
    if (state.isPlaying)
        keynoteController_.stopSlideshow(nullptr);
    else if (panel::isOutputOffOrLive(currentState_))
        keynoteController_.startSlideshow(nullptr);
}

void PresentationModule::nextKeynoteBuildPressed()
{
    if (canRunAutomation(currentState_))
        keynoteController_.showNextBuild(nullptr);
}

void PresentationModule::toggleSyncPressed()
{
    if (syncController_.isEnabled())
        syncController_.disable();
    else
        syncController_.enable();
}

void PresentationModule::resumeSyncPressed() { syncController_.resumeAfterConflict(); }

void PresentationModule::promptModeChanged(QComboBox* popup)
{
    const auto key = selectedKey(popup);
    if (!key)
        return;
    const auto mode = promptModeFromRawValue(*key);
    if (!mode)
        return;
    autoScroll_.pause();
    speechAutomation_.stopRecognition(true);
    script_.setPromptMode(*mode);
}

void PresentationModule::questionPausePressed()
{
    if (speechAutomation_.status().kind == PrompterSpeechStatus::Kind::degraded)
        speechAutomation_.resumeAfterLowConfidence();
    else
        speechAutomation_.toggleQuestionPause();
}

void PresentationModule::toggleAutoScrollPressed()
{
    if (script_.promptMode() == PromptMode::fixedScroll) {
        raise(onToggleAutoScroll);
        return;
    }
    const auto kind = speechAutomation_.status().kind;
    if (kind == PrompterSpeechStatus::Kind::listening || kind == PrompterSpeechStatus::Kind::questionPaused)
        speechAutomation_.stopRecognition(true);
    else
        speechAutomation_.startSelectedMode();
}

void PresentationModule::slowerPressed() { autoScroll_.decreaseSpeed(); }
void PresentationModule::fasterPressed() { autoScroll_.increaseSpeed(); }

void PresentationModule::smallerFontPressed()
{
    prompterHost_.scriptView().decreaseFontSize();
    updateFontSizeControls();
}

void PresentationModule::largerFontPressed()
{
    prompterHost_.scriptView().increaseFontSize();
    updateFontSizeControls();
}

void PresentationModule::audienceDisplayChanged(QComboBox* popup)
{
    if (const auto key = selectedKey(popup))
        displaySelection_.select(*key);
}

} // namespace quorvia
