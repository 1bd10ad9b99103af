#include "island/PresentationModule.h"

#include "island/PanelAppearance.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "model/PromptScriptNotifications.h"
#include "platform/core/MainQueue.h"
#include "prompter/AutoScrollController.h"
#include "prompter/PrompterHost.h"
#include "prompter/ScriptScrollView.h"
#include "prompter/TimelineStripView.h"
#include "privacy/DisplaySelectionController.h"
#include "look/IslandButton.h"
#include "prompter/PrompterSpeechAutomation.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <utility>

namespace quorvia {

namespace panel = presentation_panel;
using platform::NotificationCenter;

namespace {
PanelSpeechStatus speechStatus(const PrompterSpeechStatus& status)
{
    using Kind = PanelSpeechStatus::Kind;
    Kind kind = Kind::ready;
    switch (status.kind) {
    case PrompterSpeechStatus::Kind::calibrating: kind = Kind::calibrating; break;
    case PrompterSpeechStatus::Kind::listening: kind = Kind::listening; break;
    case PrompterSpeechStatus::Kind::degraded: kind = Kind::degraded; break;
    case PrompterSpeechStatus::Kind::unavailable: kind = Kind::unavailable; break;
    case PrompterSpeechStatus::Kind::calibrationRequired: kind = Kind::calibrationRequired; break;
    case PrompterSpeechStatus::Kind::ready: kind = Kind::ready; break;
    case PrompterSpeechStatus::Kind::questionPaused: kind = Kind::questionPaused; break;
    }
    return {kind, status.title, status.detail};
}
} // namespace

PresentationModule::PresentationModule(PromptScript& script, AutoScrollController& autoScroll,
                                       PrompterHost& prompterHost, DisplaySelectionController& displaySelection,
                                       KeynoteController& keynoteController, PresentationSyncController& syncController,
                                       PrompterSpeechAutomation& speechAutomation)
    : script_(script)
    , autoScroll_(autoScroll)
    , prompterHost_(prompterHost)
    , displaySelection_(displaySelection)
    , keynoteController_(keynoteController)
    , syncController_(syncController)
    , speechAutomation_(speechAutomation)
{
    NotificationCenter& center = NotificationCenter::defaultCenter();
    auto on = [&](const QString& name, const void* sender, std::function<void()> handler) {
        return center.observe(name, sender, [handler = std::move(handler)](const platform::Notification&) { handler(); });
    };
    placementObserver_ = on(PrompterHost::placementChangedNotification, &prompterHost_, [this] { applyPlacement(); });
    scriptObserver_ = on(NotificationName::promptScriptChanged, &script_,
                         [this] { refreshLater(scriptParts | projectPart | keynoteParts); });
    projectObserver_ = on(NotificationName::presentationProjectsChanged, &script_, [this] {
        notesResult_.reset();
        updateProjectControls();
        if (outlets_.keynoteNotesStatusLabel)
            panel_appearance::applyLabel(*outlets_.keynoteNotesStatusLabel,
                                         {QStringLiteral("Keynote 注释：默认替换"), {}, PanelTint::secondary});
        updateKeynoteNotesControls();
        postSummaryChanged();
    });
    autoScrollObserver_ = on(AutoScrollController::stateChangedNotification, &autoScroll_,
                             [this] { refreshLater(speedPart | automationPart); });
    keynoteObserver_ = on(KeynoteController::keynoteConnectionStateChanged, &keynoteController_, [this] {
        notesResult_.reset();
        refreshLater(keynoteParts);
    });
    deckObserver_ = on(NotificationName::presentationDeckChanged, &script_,
                       [this] { refreshLater(deckPart | keynoteParts); });
    keynoteNotesObserver_ = on(NotificationName::keynoteNotesBackupChanged, &script_,
                               [this] { refreshLater(notesPart); });
    modeObserver_ = on(NotificationName::presentationModeChanged, &script_, [this] { refreshLater(automationPart); });
    syncObserver_ = on(PresentationSyncController::presentationSyncStatusChanged, &syncController_,
                       [this] { refreshLater(syncPart); });
    speechObserver_ = on(NotificationName::speechAutomationStatusChanged, speechAutomation_.notificationSender(),
                         [this] { refreshLater(automationPart); });
    displaySelectionObserver_ = on(DisplaySelectionController::audienceDisplaySelectionChanged, &displaySelection_,
                                   [this] {
                                       reloadAudienceDisplays();
                                       updateControls(currentState_);
                                   });
    fontSizeObserver_ = on(ScriptScrollView::fontSizeChangedNotification, &prompterHost_.scriptView(),
                           [this] { updateFontSizeControls(); });
}

PresentationModule::~PresentationModule() = default;

QString PresentationModule::compactSummary() const
{
    return script_.activeProjectName() + QStringLiteral(" · ") + currentState_.title();
}

double PresentationModule::preferredExpandedHeight() const
{
    return prompterHost_.placement() == PrompterHost::Placement::island ? 610 : 470;
}

void PresentationModule::didResignActive()
{
    if (prompterHost_.placement() != PrompterHost::Placement::island)
        return;
    autoScroll_.pause();
    speechAutomation_.stopRecognition(true);
}

bool PresentationModule::canRunAutomation(const PresentationSafetyState& state) const
{
    return panel::canRunAutomation(state, keynoteController_.state());
}

PresentationPanelSnapshot PresentationModule::snapshot() const
{
    PresentationPanelSnapshot s;
    s.state = currentState_;
    s.isImportingDeck = isImportingDeck_;
    s.isWritingKeynoteNotes = isWritingKeynoteNotes_;
    s.isManagingProjects = isManagingProjects_;
    s.isAppSharingEnabled = isAppSharingEnabled_;
    s.isAudiencePreviewVisible = isAudiencePreviewVisible_;

    s.positionText = script_.positionText();
    s.hasContent = script_.hasContent();
    s.mappedSlide = script_.slideNumber(script_.currentIndex());
    s.anyMappedSection = std::any_of(script_.slideMappings().begin(), script_.slideMappings().end(),
                                     [](const auto& m) { return m.has_value(); });
    s.projects = script_.projectSummaries();
    s.activeProjectID = script_.activeProjectID();
    s.canDeleteActiveProject = script_.canDeleteActiveProject();
    s.deck = script_.deck();
    s.deckStatusText = script_.deckStatusText();
    s.notesBackup = script_.keynoteNotesBackup();
    s.mode = script_.promptMode();

    s.keynote = keynoteController_.state();
    s.documentIdentity = keynoteController_.documentIdentity();

    s.autoScrollRunning = autoScroll_.isRunning();
    s.speedText = autoScroll_.speedText();
    s.canDecreaseSpeed = autoScroll_.canDecreaseSpeed();
    s.canIncreaseSpeed = autoScroll_.canIncreaseSpeed();

    s.speech = speechStatus(speechAutomation_.status());

    s.syncStatus = syncController_.status();
    s.syncEnabled = syncController_.isEnabled();

    s.displays = displaySelection_.descriptors();
    s.selectedDisplayID = displaySelection_.selectedDisplayID();

    s.canDecreaseFont = prompterHost_.scriptView().canDecreaseFontSize();
    s.canIncreaseFont = prompterHost_.scriptView().canIncreaseFontSize();
    return s;
}

void PresentationModule::postSummaryChanged()
{
    NotificationCenter::defaultCenter().post(islandModuleSummaryChanged, static_cast<const IslandModule*>(this));
}

void PresentationModule::applyPlacement()
{
    const bool inIsland = prompterHost_.placement() == PrompterHost::Placement::island;
    if (outlets_.placementButton)
        outlets_.placementButton->setText(inIsland ? QStringLiteral("分离窗口") : QStringLiteral("吸附回灵动岛"));
    if (QWidget* container = outlets_.scriptHostContainer) {
        container->setVisible(inIsland);
        if (inIsland)
            prompterHost_.install(container);
    } else if (inIsland) {
        // The script view has no visible home, so scrolling must not run on.
        autoScroll_.pause();
    }
    postHeightChanged();
}

// MARK: the owner's reports

void PresentationModule::update(const PresentationSafetyState& state)
{
    currentState_ = state;
    if (outlets_.stateLabel)
        outlets_.stateLabel->setText(state.title());
    if (outlets_.detailLabel)
        outlets_.detailLabel->setText(state.detail());
    updateControls(state);
    updateSyncControls();
    updateAutomationControls();
    updateKeynoteNotesControls();
    postSummaryChanged();
}

void PresentationModule::setAppSharingEnabled(bool enabled)
{
    isAppSharingEnabled_ = enabled;
    if (auto* button = qobject_cast<IslandButton*>(outlets_.appSharingButton.data())) {
        const PanelButton look = panel::appSharingButton(enabled);
        button->setText(look.title);
        panel_appearance::applyBezel(*button, look.bezel);
    }
}

void PresentationModule::setAudiencePreviewVisible(bool visible)
{
    isAudiencePreviewVisible_ = visible;
    updateAudiencePreviewControls();
}

void PresentationModule::updateAutomationAvailability()
{
    updateAutomationControls();
    updateSyncControls();
    updateKeynoteControls();
}

void PresentationModule::refreshAudienceDisplays()
{
    if (!displaySelection_.refresh())
        return;
    reloadAudienceDisplays();
    updateControls(currentState_);
}

void PresentationModule::setDeckImporting(bool importing)
{
    isImportingDeck_ = importing;
    if (importing)
        notesResult_.reset();
    updateDeckControls();
    updateProjectControls();
    updateKeynoteControls();
}

void PresentationModule::setProjectOperationRunning(bool running)
{
    isManagingProjects_ = running;
    updateProjectControls();
    updateDeckControls();
    updateScriptControls();
}

void PresentationModule::setKeynoteNotesWorking(bool working)
{
    isWritingKeynoteNotes_ = working;
    if (working) {
        notesResult_.reset();
        if (outlets_.keynoteNotesStatusLabel)
            panel_appearance::applyLabel(*outlets_.keynoteNotesStatusLabel,
                                         {QStringLiteral("正在更新 Keynote 注释…"), {}, PanelTint::secondary});
    }
    updateProjectControls();
    updateDeckControls();
    updateScriptControls();
    updateKeynoteNotesControls();
}

void PresentationModule::setKeynoteNotesResult(const QString& message, bool isError)
{
    isWritingKeynoteNotes_ = false;
    notesResult_ = PanelNotesResult{message, isError};
    if (outlets_.keynoteNotesStatusLabel)
        panel_appearance::applyLabel(*outlets_.keynoteNotesStatusLabel,
                                     {message, {}, isError ? PanelTint::red : PanelTint::green});
    updateProjectControls();
    updateDeckControls();
    updateScriptControls();
    updateKeynoteNotesControls();
}

// MARK: refreshes

// Each refresh reads one snapshot and sets the controls of its parts; the
// named updates are the sets of parts the panel has always refreshed together.
void PresentationModule::refreshNow(unsigned parts)
{
    refreshNow(parts, snapshot());
}

void PresentationModule::refreshNow(unsigned parts, const PresentationPanelSnapshot& s)
{
    if (parts & privacyPart)
        applyPrivacyControls(s);
    if (parts & previewPart)
        applyAudiencePreviewControls(s);
    if (parts & projectPart)
        applyProjectControls(s);
    if (parts & scriptPart)
        applyScriptControls(s);
    if (parts & speedPart)
        applySpeedControls(s);
    if (parts & automationPart)
        applyAutomationControls(s);
    if (parts & deckPart)
        applyDeckControls(s);
    if (parts & syncPart)
        applySyncControls(s);
    if (parts & keynotePart)
        applyKeynoteControls(s);
    if (parts & notesPart)
        applyKeynoteNotesControls(s);
}

void PresentationModule::refreshLater(unsigned parts)
{
    // Speech following changes the script on every recognised word, and one
    // change reaches the panel through several notifications: the parts they
    // ask for are refreshed once, after this turn of the event loop.
    const bool scheduled = pendingRefresh_ != 0;
    pendingRefresh_ |= parts;
    if (scheduled)
        return;
    QPointer<PresentationModule> self(this);
    platform::MainQueue::async([self] {
        if (!self)
            return;
        const unsigned parts = std::exchange(self->pendingRefresh_, 0u);
        self->refreshNow(parts);
    });
}

void PresentationModule::updateControls(const PresentationSafetyState& state)
{
    PresentationPanelSnapshot s = snapshot();
    s.state = state;
    refreshNow(privacyPart | previewPart | projectPart | scriptParts | syncPart, s);
}

void PresentationModule::updateScriptControls() { refreshNow(scriptParts); }
void PresentationModule::updateProjectControls() { refreshNow(projectPart); }
void PresentationModule::updateKeynoteControls() { refreshNow(keynoteParts); }
void PresentationModule::updateKeynoteNotesControls() { refreshNow(notesPart); }
void PresentationModule::updateAutomationControls() { refreshNow(automationPart); }
void PresentationModule::updateSyncControls() { refreshNow(syncPart); }
void PresentationModule::updateAutoScrollControls() { refreshNow(speedPart | automationPart); }
void PresentationModule::updateAudiencePreviewControls() { refreshNow(previewPart); }
void PresentationModule::updateDeckControls() { refreshNow(deckPart); }

void PresentationModule::applyPrivacyControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::privacyOutputControls(s);
    if (auto* button = qobject_cast<IslandButton*>(outlets_.startPrivacyOutputButton.data()))
        panel_appearance::applyButton(*button, look.button);
    if (outlets_.audienceDisplayPopup)
        outlets_.audienceDisplayPopup->setEnabled(look.audiencePopupEnabled
                                                  && !panel::audienceDisplayPopup(s).forceDisabled);
    if (outlets_.appSharingButton)
        outlets_.appSharingButton->setEnabled(look.appSharingEnabled);
}

void PresentationModule::applyScriptControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::scriptControls(s);
    if (outlets_.scriptPositionLabel)
        outlets_.scriptPositionLabel->setText(look.positionText);
    if (outlets_.editScriptButton)
        outlets_.editScriptButton->setEnabled(look.editEnabled);
    if (outlets_.scriptManagementButton)
        outlets_.scriptManagementButton->setEnabled(look.scriptManagementEnabled);
    if (outlets_.timelineStrip)
        outlets_.timelineStrip->reload(script_.timelineBlocks(), int(script_.currentIndex()));
}

void PresentationModule::applyProjectControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::projectControls(s);
    if (QComboBox* popup = outlets_.projectPopup) {
        panel_appearance::fillPopup(*popup, look.items, look.selectedIndex);
        popup->setEnabled(look.enabled);
    }
    for (QPushButton* button : {outlets_.createProjectButton.data(), outlets_.renameProjectButton.data(),
                                outlets_.duplicateProjectButton.data(), outlets_.importProjectBackupButton.data(),
                                outlets_.exportProjectBackupButton.data()})
        if (button)
            button->setEnabled(look.enabled);
    if (outlets_.deleteProjectButton)
        outlets_.deleteProjectButton->setEnabled(look.deleteEnabled);
}

void PresentationModule::applyKeynoteControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::keynoteControls(s);
    if (outlets_.keynoteStatusLabel)
        panel_appearance::applyLabel(*outlets_.keynoteStatusLabel, look.status);
    if (outlets_.keynoteRefreshButton)
        outlets_.keynoteRefreshButton->setEnabled(look.refreshEnabled);
    if (auto* jump = qobject_cast<IslandButton*>(outlets_.keynoteJumpButton.data()))
        panel_appearance::applyButton(*jump, look.jump);
    if (auto* playback = qobject_cast<IslandButton*>(outlets_.keynotePlaybackButton.data()))
        panel_appearance::applyButton(*playback, look.playback);
}

void PresentationModule::applyKeynoteNotesControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::notesControls(s, notesResult_);
    if (outlets_.replaceKeynoteNotesButton) {
        outlets_.replaceKeynoteNotesButton->setText(look.replace.title);
        outlets_.replaceKeynoteNotesButton->setEnabled(look.replace.enabled);
    }
    if (outlets_.restoreKeynoteNotesButton)
        outlets_.restoreKeynoteNotesButton->setEnabled(look.restoreEnabled);
    if (!look.statusChanges)
        return;
    if (outlets_.keynoteNotesStatusLabel)
        panel_appearance::applyLabel(*outlets_.keynoteNotesStatusLabel, {look.status.text, {}, look.status.tint});
    if (outlets_.replaceKeynoteNotesButton)
        outlets_.replaceKeynoteNotesButton->setToolTip(look.replace.toolTip);
    if (outlets_.restoreKeynoteNotesButton)
        outlets_.restoreKeynoteNotesButton->setToolTip(look.replace.toolTip);
}

void PresentationModule::applyAutomationControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::automationControls(s);
    if (QComboBox* popup = outlets_.modePopup) {
        popup->setCurrentIndex(look.modeIndex);
        popup->setEnabled(true);
    }
    if (auto* button = qobject_cast<IslandButton*>(outlets_.autoScrollButton.data()))
        panel_appearance::applyButton(*button, look.autoScroll);
    if (outlets_.slowerButton)
        outlets_.slowerButton->setEnabled(look.slowerEnabled);
    if (outlets_.fasterButton)
        outlets_.fasterButton->setEnabled(look.fasterEnabled);
    if (outlets_.questionPauseButton) {
        if (look.questionPauseTitle)
            outlets_.questionPauseButton->setText(*look.questionPauseTitle);
        outlets_.questionPauseButton->setEnabled(look.questionPauseEnabled);
    }
    if (outlets_.automationStatusLabel)
        panel_appearance::applyLabel(*outlets_.automationStatusLabel, look.status);
    if (outlets_.audioSetupButton)
        outlets_.audioSetupButton->setEnabled(look.audioSetupEnabled);
}

void PresentationModule::applySyncControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::syncControls(s);
    if (outlets_.syncStatusLabel)
        panel_appearance::applyLabel(*outlets_.syncStatusLabel, look.status);
    if (outlets_.syncToggleButton) {
        outlets_.syncToggleButton->setText(look.toggle.title);
        outlets_.syncToggleButton->setEnabled(look.toggle.enabled);
    }
    if (outlets_.syncResumeButton)
        outlets_.syncResumeButton->setEnabled(look.resumeEnabled);
    if (outlets_.keynoteBuildButton)
        outlets_.keynoteBuildButton->setEnabled(look.buildEnabled);
}

void PresentationModule::applySpeedControls(const PresentationPanelSnapshot& s)
{
    if (outlets_.speedLabel)
        outlets_.speedLabel->setText(s.speedText);
}

void PresentationModule::updateFontSizeControls()
{
    const ScriptScrollView& view = prompterHost_.scriptView();
    if (outlets_.smallerFontButton)
        outlets_.smallerFontButton->setEnabled(view.canDecreaseFontSize());
    if (outlets_.largerFontButton)
        outlets_.largerFontButton->setEnabled(view.canIncreaseFontSize());
}

void PresentationModule::applyAudiencePreviewControls(const PresentationPanelSnapshot& s)
{
    if (auto* button = qobject_cast<IslandButton*>(outlets_.audiencePreviewButton.data()))
        panel_appearance::applyButton(*button, panel::audiencePreviewButton(s));
}

void PresentationModule::applyDeckControls(const PresentationPanelSnapshot& s)
{
    const auto look = panel::deckControls(s);
    if (outlets_.deckStatusLabel)
        outlets_.deckStatusLabel->setText(look.statusText);
    if (outlets_.importDeckButton) {
        outlets_.importDeckButton->setText(look.importButton.title);
        outlets_.importDeckButton->setEnabled(look.importButton.enabled);
    }
}

void PresentationModule::reloadAudienceDisplays()
{
    QComboBox* popup = outlets_.audienceDisplayPopup;
    if (!popup)
        return;
    const auto look = panel::audienceDisplayPopup(snapshot());
    panel_appearance::fillPopup(*popup, look.items, look.selectedIndex);
    popup->setPlaceholderText(look.placeholderTitle.value_or(QString()));
    popup->setToolTip(look.toolTip);
    if (look.forceDisabled)
        popup->setEnabled(false);
}

} // namespace quorvia
