#pragma once

// The management window's inline getters need these complete.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/AlertRunner.h"
#include "app/GlobalHotKeyController.h"
#include "app/PlacementWatch.h"
#include "editing/CloudAIMatcher.h"
#include "editing/CloudAISettings.h"
#include "editing/CloudAISettingsWindowController.h"
#include "editing/ScriptEditorWindowController.h"
#include "editing/ScriptManagementWindowController.h"
#include "editing/SlideMappingWindowController.h"
#include "island/IslandModuleRegistry.h"
#include "island/IslandWindow.h"
#include "island/IslandWindowController.h"
#include "island/PresentationModule.h"
#include "island/ProjectManagementModule.h"
#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "platform/application/ApplicationShell.h"
#include "platform/dialogs/DialogService.h"
#include "platform/core/Geometry.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "privacy/AudiencePreviewWindowController.h"
#include "privacy/DisplayConfigurationSnapshot.h"
#include "privacy/DisplaySelectionController.h"
#include "look/IslandPreferences.h"
#include "privacy/PresentationSafetyState.h"
#include "privacy/PrivateWindowRegistry.h"
#include "look/PrompterPreferences.h"
#include "privacy/SafetyOverlayWindowController.h"
#include "privacy/ScreenMirrorEngine.h"
#include "prompter/AutoScrollController.h"
#include "speech/AudioDeviceController.h"
#include "speech/AudioSetupWindowController.h"
#include "speech/OnDeviceSpeechController.h"
#include "speech/SpeechAutomationController.h"
#include "prompter/PrompterSpeechAutomationAdapter.h"
#include "prompter/PrompterHost.h"
#include "prompter/PrompterWindowController.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quorvia {

// Builds and owns every long-lived controller, wires their callbacks to each
// other and to its own handlers, guards the private windows against display
// mirroring, carries out the presentation panel's commands and shuts it all
// down at quit. Main thread only; one instance for the life of the process.
class AppCoordinator {
public:

    static constexpr double topologyInterval = 1.0;
    static constexpr double safetyOverlayReturnDelay = 8.0;
    // When the island never gets painted (no built-in screen, say), what
    // start-up left hidden is built this long after the start all the same.
    static constexpr double hiddenWindowsLatestDelay = 0.3;
    static inline const QString retryWhileMirroredReason = QStringLiteral("系统镜像仍在运行；请先切换为扩展显示");
    static inline const QString stillMirroredReason = QStringLiteral("系统镜像仍在运行；私密窗口保持隐藏");
    static inline const QString keptHiddenReason = QStringLiteral("私密窗口保持隐藏");

    // Tests hand the cloud matcher a session of their own; none makes the real one.
    explicit AppCoordinator(std::shared_ptr<platform::HttpSession> cloudSession = nullptr);
    ~AppCoordinator();
    AppCoordinator(const AppCoordinator&) = delete;
    AppCoordinator& operator=(const AppCoordinator&) = delete;

    void start();
    // The completion runs once everything has stopped.
    void shutdown(std::function<void()> completion);
    void restorePrimaryWindowAfterReopen();

    // The coordinator's own controllers, handed to the end-to-end tests, which
    // drive them as the panel and the speaker would; not for product code.
    PromptScript& script() { return *promptScript; }
    ScreenMirrorEngine& engine() { return *mirrorEngine; }
    PrivateWindowRegistry& windows() { return *privateWindows; }
    SafetyOverlayWindowController& safetyOverlay() { return *safetyOverlayController; }
    AudiencePreviewWindowController& preview() { return *audiencePreview; }
    DisplaySelectionController& displays() { return *displaySelection; }
    KeynoteController& keynote() { return *keynoteController; }
    PresentationSyncController& sync() { return *syncController; }
    AutoScrollController& scroll() { return *autoScroll; }
    GlobalHotKeyController& hotKeys() { return *globalHotKeys; }
    IslandWindowController* island() const { return islandController.get(); }
    const IslandModuleRegistry& modules() const { return *registry; }
    PresentationModule& panel() { return *presentationModule; }
    PrompterWindowController* prompter() const { return prompterController.get(); }
    AudioDeviceController& audio() { return *audioDevices; }
    SpeechAutomationController& speech() { return *speechAutomation; }
    AudioSetupWindowController* audioSetup() const { return audioSetupController.get(); }
    PrompterHost& host() { return *prompterHost; }
    ScriptEditorWindowController* scriptEditor() const { return scriptEditorController.get(); }
    ScriptManagementWindowController* scriptManagement() const { return scriptManagementController.get(); }
    const PresentationSafetyState& safetyState() const { return presentationState; }
    bool isShieldActive() const { return systemMirrorShieldActive; }
    bool isEmergencyLocalHidden() const { return emergencyLocalHidden; }
    bool isAwaitingBuiltInScreen() const { return awaitingBuiltInScreen; }
    const AlertRunner& alertRunner() const { return *alerts; }
    AlertRunner& alertRunner() { return *alerts; }
    bool appSharingEnabled() const { return isAppSharingEnabled; }
    const QString& lastReason() const { return lastSafetyReason; }
    bool isStarted() const { return topologyTimer != nullptr; }
    // The last Keynote notes or import result line, and whether it was an error.
    const std::pair<QString, bool>& keynoteNotesResult() const { return lastKeynoteNotesResult; }
    bool isProjectOperationRunning() const { return projectOperationRunning; }

    // Panel commands and handlers, reachable from tests as the panel reaches them.
    void startPrivacyOutputDirectly();
    void stopPrivacyOutputAndReturn();
    void toggleAppSharing();
    void togglePrompterPlacement();
    void showAudioSetup();
    void toggleAudiencePreview();
    void handleEmergencyToggle();
    void retryAfterSafetyStop();
    void temporarilyExitSafetyOverlay();
    void importKeynoteDocument();
    void replaceKeynotePresenterNotes();
    void restoreKeynotePresenterNotes();
    bool handleLocalKeyDown(const platform::KeyPress& press);
    bool shouldSuppressAudiencePointer(platform::Point point) const;
    void screenParametersChanged();
    void monitorTopology();

    // Script editing and management.
    void showScriptEditor(std::optional<QUuid> blockID = std::nullopt);
    void showScriptManagement();
    void importScript();
    void deleteTimeline();
    void addDemoBlock(std::optional<QString> uploadedText = std::nullopt);
    void uploadDemoBlock();

    // Projects and backups.
    bool canChangePresentationProject();
    bool selectPresentationProject(const QUuid& id);
    void createPresentationProject();
    void renamePresentationProject();
    void deletePresentationProject();
    void duplicatePresentationProject();
    void exportProjectBackup();
    void importProjectBackup();

    // Slide mapping and cloud matching; no panel command reaches them.
    void showSlideMappings();
    void showCloudAISettings();
    void runCloudAIMapping();
    SlideMappingWindowController* slideMapping() const { return slideMappingController.get(); }
    CloudAISettingsWindowController* cloudSettingsWindow() const { return cloudAISettingsController.get(); }

    // The presenter notes that the mapped sections give, by slide number.
    std::map<qint64, QString> mappedPresenterNotes() const;

private:
    using Life = std::shared_ptr<AppCoordinator*>;
    using WeakLife = std::weak_ptr<AppCoordinator*>;
    static AppCoordinator* alive(const WeakLife& weak);
    // Wraps a handler so that it does nothing once the coordinator is gone.
    std::function<void()> weakly(void (AppCoordinator::*handler)());

    void configureModules();
    void configureSafetyControls();
    void buildMainMenu();
    void prepareHiddenWindows();

    // Safety.
    void handlePresentationStateChange(const PresentationSafetyState& state);
    bool isAutomationAllowed() const;
    void updateAutomationAvailability();
    void enterSafetyShield(const QString& reason);
    void hidePrivateSurfaces(bool allowSafetyOverlay = false);
    void enforceStartupSafety();
    void forgetEndedMirroring();
    void reserveAudienceDisplay();
    // Private windows show only on the speaker's own screen: without one they
    // are held hidden, and they return when one appears.
    void watchBuiltInScreen();
    // Restores what a hide took away, or waits for a built-in screen to do it.
    void revealPrivateWindows();
    void showIsland();
    // What keeps the private windows out of sight, each kind named once, so
    // that every question below knows a new one. While one lasts a change of
    // the displays is owed to the windows, and the way out places them
    // before they show.
    enum Hold : unsigned {
        emergencyHide = 1u << 0,
        quitting = 1u << 1,
        shield = 1u << 2,
        privacyPause = 1u << 3,
        awaitingScreen = 1u << 4,
        noBuiltInScreen = 1u << 5,
        // A hide's snapshot not yet restored: the windows it names are
        // placed with the rest.
        restorePending = 1u << 6,
    };
    // Lifted only by their own end: no state report or lifted shield brings the windows back meanwhile.
    static constexpr unsigned holdsUntilTheirOwnEnd = emergencyHide | quitting;
    unsigned privateWindowHolds() const;
    bool isHoldingPrivateWindows(unsigned ignoring = 0) const { return (privateWindowHolds() & ~ignoring) != 0; }
    bool mayRevealPrivateWindows() const { return (privateWindowHolds() & holdsUntilTheirOwnEnd) == 0; }
    void recallPrompter();
    // Once the notices of a change have come in: the windows placed for it,
    // or, when the window manager has caught up since, put back where it
    // moved them from.
    void schedulePlacing();
    void placeOrKeepPlaces();
    // The same displays: each window back at its place, the panels' changes heeded.
    void keepPlaces();
    // Where a real change of the displays puts the windows: the prompter back
    // in the island, every open private window at its place on the speaker's
    // screen, alerts and choosers in its middle.
    void placeAfterDisplayChange();
    // Whether the displays, as last noticed or as `now`, differ from those
    // the windows were last placed for.
    bool isPlacingOwed() const { return isPlacingOwed(displayConfigurationSnapshot); }
    bool isPlacingOwed(const std::optional<DisplayConfigurationSnapshot>& now) const { return now != placedConfiguration; }
    // No hold keeps the windows out of sight; a restore still pending does
    // not count, since the windows it names are placed with the rest.
    bool mayPlacePrivateWindows() const { return !isHoldingPrivateWindows(restorePending); }
    // On the way out of a hold, before the windows show again: the placing a
    // change under it owes, or else every window back at its place.
    void placeWhatIsOwed();
    // Every open private window at its place but those the speaker has taken
    // in hand; the prompter is left where it is.
    void positionPrivateWindows();
    // Hides the prompter window and its bubble for good, also from a later restore.
    void releasePrompterWindow();
    PrompterWindowController& prompterWindow();
    static bool isSystemMirroring();

    // Keynote.
    struct NotesContext {
        KeynoteDocumentIdentity identity;
        qint64 slideCount = 0;
    };
    std::optional<NotesContext> currentKeynoteNotesContext() const;
    static QString keynoteNotesErrorText(KeynotePresenterNotesError error);
    void setKeynoteNotesResult(const QString& text, bool isError);
    void showKeynoteImportError(const QString& description);

    // Script editing.
    std::optional<QString> requestDemoLabel();
    void showScriptImportError(const QString& description);
    void showDemoLabelError();
    std::optional<qint64> demoInsertionIndex() const;
    // The window that carries a chooser: the island's, or none before it exists.
    platform::Window* islandWindow() const;

    // Projects.
    std::optional<QString> requestProjectName(const QString& title, const QString& message,
                                              const QString& initialValue, const QString& confirmTitle);
    void showProjectOperationError(const QString& title, const QString& description);
    void showProjectOperationSuccess(const QString& title, const QString& message);
    // Once the projects are on the drive, opens the active project's Keynote deck and says `successMessage`.
    // `importedCopies`: the copies an import made, as its projects name them.
    void activateRestoredProjectKeynote(const QString& successMessage, const QStringList& importedCopies = {});
    void openRestoredProjectKeynote(const QString& successMessage);
    void setProjectOperationRunning(bool running);

    Life life_ = std::make_shared<AppCoordinator*>(this);

    // Built in this order; each later one may receive earlier ones.
    std::unique_ptr<IslandModuleRegistry> registry;
    std::unique_ptr<PrivateWindowRegistry> privateWindows;
    std::unique_ptr<AlertRunner> alerts;
    std::unique_ptr<IslandPreferences> preferences;
    std::unique_ptr<PrompterPreferences> prompterPreferencesStorage;
    std::unique_ptr<ScreenMirrorEngine> mirrorEngine;
    std::unique_ptr<DisplaySelectionController> displaySelection;
    std::unique_ptr<SafetyOverlayWindowController> safetyOverlayController;
    std::unique_ptr<GlobalHotKeyController> globalHotKeys;
    std::unique_ptr<CloudAISettings> cloudAISettings;
    std::unique_ptr<CloudAIMatcher> cloudAIMatcher;
    std::unique_ptr<AudiencePreviewWindowController> audiencePreview;
    std::shared_ptr<ProjectManagementModule> projectModule;
    std::unique_ptr<AutoScrollController> autoScroll;
    std::unique_ptr<PromptScript> promptScript;
    std::unique_ptr<PrompterHost> prompterHost;
    std::unique_ptr<KeynoteController> keynoteController;
    std::unique_ptr<PresentationSyncController> syncController;
    std::unique_ptr<AudioDeviceController> audioDevices;
    std::unique_ptr<OnDeviceSpeechController> onDeviceSpeech;
    std::unique_ptr<SpeechAutomationController> speechAutomation;
    // What the panel and the prompter window see of it.
    std::unique_ptr<PrompterSpeechAutomationAdapter> speechAutomationAdapter;
    std::shared_ptr<PresentationModule> presentationModule;

    std::unique_ptr<IslandWindowController> islandController;
    std::unique_ptr<PrompterWindowController> prompterController;
    std::unique_ptr<ScriptEditorWindowController> scriptEditorController;
    std::unique_ptr<ScriptManagementWindowController> scriptManagementController;
    std::unique_ptr<SlideMappingWindowController> slideMappingController;
    std::unique_ptr<AudioSetupWindowController> audioSetupController;
    std::unique_ptr<CloudAISettingsWindowController> cloudAISettingsController;
    std::unique_ptr<platform::Timer> topologyTimer;
    std::optional<DisplayConfigurationSnapshot> displayConfigurationSnapshot;
    platform::Observation keynoteStateObserver;
    std::optional<platform::ApplicationShell::MonitorID> localKeyMonitor;
    std::unique_ptr<platform::Timer> safetyOverlayResumeTimer;
    platform::Observation screenParametersObserver;
    PresentationSafetyState presentationState = PresentationSafetyState::disabled();
    bool systemMirrorShieldActive = false;
    bool emergencyLocalHidden = false;
    bool isAppSharingEnabled = false;
    bool awaitingBuiltInScreen = false;
    // The displays as the windows were last placed for, and the panels as
    // they were last kept for: a hold that ends under others owes them the
    // placing it held back.
    std::optional<DisplayConfigurationSnapshot> placedConfiguration;
    PlacementWatch placementWatch;
    bool isPlacingScheduled = false;
    bool isShuttingDown = false;
    QString lastSafetyReason = keptHiddenReason;
    std::pair<QString, bool> lastKeynoteNotesResult;
    bool projectOperationRunning = false;

    PrompterPreferences& prompterPreferences();
};

} // namespace quorvia
