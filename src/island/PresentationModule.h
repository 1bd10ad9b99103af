#pragma once

#include "island/IslandModule.h"
#include "island/IslandModuleSettingsProviding.h"
#include "island/PresentationPanelModel.h"
#include "platform/core/NotificationCenter.h"
#include "privacy/PresentationSafetyState.h"

#include <QObject>
#include <QPointer>
#include <QUuid>

#include <array>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace quorvia {

class AutoScrollController;
class DisplaySelectionController;
class IslandButton;
class KeynoteController;
class PresentationSyncController;
class PrompterHost;
class PromptScript;
class PrompterSpeechAutomation;
class TimelineStripView;

// The island's first module: the speaker's live controls for one talk and,
// in the island's settings popover, the occasional commands. It changes the
// controllers it holds directly and raises everything needing a dialog, a
// window, a file or the project store as a callback to its owner.
class PresentationModule : public QObject, public IslandModule, public IslandModuleSettingsProviding {
public:
    // Posted with the module as sender when the compact summary may have changed.
    static inline const QString islandModuleSummaryChanged = QStringLiteral("IslandModuleSummaryChanged");

    PresentationModule(PromptScript& script, AutoScrollController& autoScroll, PrompterHost& prompterHost,
                       DisplaySelectionController& displaySelection, KeynoteController& keynoteController,
                       PresentationSyncController& syncController, PrompterSpeechAutomation& speechAutomation);
    ~PresentationModule() override;

    QString id() const override { return QStringLiteral("presentation"); }
    QString title() const override { return QStringLiteral("演讲提词"); }
    QString symbolName() const override { return QStringLiteral("rectangle.on.rectangle"); }
    IslandPrivacyClass privacyClass() const override { return IslandPrivacyClass::privacyCritical; }
    QString compactSummary() const override;
    double preferredExpandedHeight() const override;
    QWidget* makeExpandedView() override;
    void didResignActive() override;
    platform::Size islandSettingsSize() const override { return {620, 300}; }
    QWidget* makeIslandSettingsView() override;

    // The owner's reports.
    void update(const PresentationSafetyState& state);
    void setAppSharingEnabled(bool enabled);
    void setAudiencePreviewVisible(bool visible);
    void updateAutomationAvailability();
    void refreshAudienceDisplays();
    void setDeckImporting(bool importing);
    void setProjectOperationRunning(bool running);
    void setKeynoteNotesWorking(bool working);
    void setKeynoteNotesResult(const QString& message, bool isError);

    const PresentationSafetyState& currentState() const { return currentState_; }
    bool canRunAutomation(const PresentationSafetyState& state) const;

    // The commands the owner carries out.
    std::function<void()> onStartPrivacyOutput;
    std::function<void()> onStopPrivacyOutput;
    std::function<void()> onTogglePrompterPlacement;
    std::function<void()> onEditScript;
    std::function<void()> onOpenScriptManagement;
    std::function<void()> onToggleAppSharing;
    std::function<void()> onToggleAutoScroll;
    std::function<bool(const QUuid&)> onSelectProject;
    std::function<void()> onCreateProject;
    std::function<void()> onRenameProject;
    std::function<void()> onDeleteProject;
    std::function<void()> onDuplicateProject;
    std::function<void()> onImportProjectBackup;
    std::function<void()> onExportProjectBackup;
    std::function<void()> onImportKeynoteDocument;
    std::function<void()> onReplaceKeynoteNotes;
    std::function<void()> onRestoreKeynoteNotes;
    std::function<void()> onOpenAudioSetup;
    std::function<void()> onToggleAudiencePreview;

    // The controls' actions.
    void togglePrivacyOutputPressed();
    void startPrivacyOutputPressed();
    void stopPrivacyOutputPressed();
    void togglePlacementPressed();
    void editScriptPressed();
    void openScriptManagementPressed();
    void toggleAppSharingPressed();
    void toggleAutoScrollPressed();
    void createProjectPressed();
    void renameProjectPressed();
    void deleteProjectPressed();
    void duplicateProjectPressed();
    void importProjectBackupPressed();
    void exportProjectBackupPressed();
    void importDeckPressed();
    void replaceKeynoteNotesPressed();
    void restoreKeynoteNotesPressed();
    void openAudioSetupPressed();
    void toggleAudiencePreviewPressed();
    void projectSelectionChanged(QComboBox* popup);
    void refreshKeynotePressed();
    void jumpKeynotePressed();
    void toggleKeynotePlaybackPressed();
    void nextKeynoteBuildPressed();
    void toggleSyncPressed();
    void resumeSyncPressed();
    void promptModeChanged(QComboBox* popup);
    void questionPausePressed();
    void slowerPressed();
    void fasterPressed();
    void smallerFontPressed();
    void largerFontPressed();
    void audienceDisplayChanged(QComboBox* popup);

    // The controls as built, for tests and pictures; empty while their view is gone.
    struct Outlets {
        QPointer<QLabel> stateLabel, detailLabel;
        QPointer<QPushButton> startPrivacyOutputButton, stopPrivacyOutputButton;
        QPointer<QComboBox> audienceDisplayPopup;
        QPointer<QPushButton> placementButton;
        QPointer<QWidget> scriptHostContainer;
        QPointer<QLabel> scriptPositionLabel;
        QPointer<QPushButton> editScriptButton, scriptManagementButton, smallerFontButton, largerFontButton,
            appSharingButton;
        QPointer<TimelineStripView> timelineStrip;
        QPointer<QPushButton> autoScrollButton, slowerButton, fasterButton;
        QPointer<QLabel> speedLabel;
        QPointer<QComboBox> projectPopup;
        QPointer<QPushButton> createProjectButton, renameProjectButton, deleteProjectButton, duplicateProjectButton,
            importProjectBackupButton, exportProjectBackupButton;
        QPointer<QLabel> keynoteStatusLabel;
        QPointer<QPushButton> keynoteRefreshButton, keynoteJumpButton;
        QPointer<QLabel> deckStatusLabel;
        QPointer<QPushButton> importDeckButton;
        QPointer<QLabel> keynoteNotesStatusLabel;
        QPointer<QPushButton> replaceKeynoteNotesButton, restoreKeynoteNotesButton;
        QPointer<QComboBox> modePopup;
        QPointer<QLabel> automationStatusLabel;
        QPointer<QPushButton> questionPauseButton, audioSetupButton;
        QPointer<QLabel> syncStatusLabel;
        QPointer<QPushButton> syncToggleButton, syncResumeButton, keynoteBuildButton, keynotePlaybackButton,
            audiencePreviewButton;
    };
    const Outlets& outlets() const { return outlets_; }

    PresentationPanelSnapshot snapshot() const;

private:
    IslandButton* actionButton(const QString& title, void (PresentationModule::*action)(), bool prominent = false);
    void applyPlacement();

    // The parts of the panel a refresh sets, each from one snapshot.
    enum RefreshPart : unsigned {
        privacyPart = 1u << 0,
        previewPart = 1u << 1,
        projectPart = 1u << 2,
        scriptPart = 1u << 3,
        speedPart = 1u << 4,
        automationPart = 1u << 5,
        deckPart = 1u << 6,
        syncPart = 1u << 7,
        keynotePart = 1u << 8,
        notesPart = 1u << 9,
    };
    static constexpr unsigned scriptParts = scriptPart | speedPart | automationPart | deckPart;
    static constexpr unsigned keynoteParts = keynotePart | previewPart | notesPart;
    void refreshNow(unsigned parts);
    void refreshNow(unsigned parts, const PresentationPanelSnapshot& s);
    void refreshLater(unsigned parts);
    void applyPrivacyControls(const PresentationPanelSnapshot& s);
    void applyAudiencePreviewControls(const PresentationPanelSnapshot& s);
    void applyProjectControls(const PresentationPanelSnapshot& s);
    void applyScriptControls(const PresentationPanelSnapshot& s);
    void applySpeedControls(const PresentationPanelSnapshot& s);
    void applyAutomationControls(const PresentationPanelSnapshot& s);
    void applyDeckControls(const PresentationPanelSnapshot& s);
    void applySyncControls(const PresentationPanelSnapshot& s);
    void applyKeynoteControls(const PresentationPanelSnapshot& s);
    void applyKeynoteNotesControls(const PresentationPanelSnapshot& s);

    void updateControls(const PresentationSafetyState& state);
    void updateScriptControls();
    void updateProjectControls();
    void updateKeynoteControls();
    void updateKeynoteNotesControls();
    void updateAutomationControls();
    void updateSyncControls();
    void updateAutoScrollControls();
    void updateFontSizeControls();
    void updateAudiencePreviewControls();
    void updateDeckControls();
    void reloadAudienceDisplays();
    void postSummaryChanged();
    void clearNotesResult();

    PromptScript& script_;
    AutoScrollController& autoScroll_;
    PrompterHost& prompterHost_;
    DisplaySelectionController& displaySelection_;
    KeynoteController& keynoteController_;
    PresentationSyncController& syncController_;
    PrompterSpeechAutomation& speechAutomation_;

    PresentationSafetyState currentState_ = PresentationSafetyState::disabled();
    Outlets outlets_;

    platform::Observation scriptObserver_, projectObserver_, autoScrollObserver_, placementObserver_,
        keynoteObserver_, deckObserver_, keynoteNotesObserver_, modeObserver_, syncObserver_, speechObserver_,
        displaySelectionObserver_, fontSizeObserver_;

    unsigned pendingRefresh_ = 0;
    bool isImportingDeck_ = false;
    bool isWritingKeynoteNotes_ = false;
    bool isManagingProjects_ = false;
    bool isAppSharingEnabled_ = false;
    bool isAudiencePreviewVisible_ = false;
    // The last notes or import outcome, kept visible until something newer happens.
    std::optional<PanelNotesResult> notesResult_;
};

} // namespace quorvia
