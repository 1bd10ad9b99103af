#pragma once

#include "keynote/KeynoteController.h"
#include "keynote/PresentationSyncController.h"
#include "model/PromptScript.h"
#include "platform/ApplicationShell.h"
#include "platform/DialogService.h"
#include "platform/Geometry.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "privacy/AudiencePreviewWindowController.h"
#include "privacy/DisplayConfigurationSnapshot.h"
#include "privacy/DisplaySelectionController.h"
#include "privacy/IslandPreferences.h"
#include "privacy/PresentationSafetyState.h"
#include "privacy/PrivateWindowRegistry.h"
#include "privacy/PrompterPreferences.h"
#include "privacy/SafetyOverlayWindowController.h"
#include "privacy/ScreenMirrorEngine.h"

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
    static inline const QString audioDeviceTopologyChanged = QStringLiteral("AudioDeviceTopologyChanged");

    static constexpr double topologyInterval = 1.0;
    static constexpr double safetyOverlayReturnDelay = 8.0;

    AppCoordinator();
    ~AppCoordinator();
    AppCoordinator(const AppCoordinator&) = delete;
    AppCoordinator& operator=(const AppCoordinator&) = delete;

    void start();
    // The completion runs once everything has stopped.
    void shutdown(std::function<void()> completion);
    void restorePrimaryWindowAfterReopen();

    // Read-only views for the end-to-end tests.
    PromptScript& script() { return *promptScript; }
    ScreenMirrorEngine& engine() { return *mirrorEngine; }
    PrivateWindowRegistry& windows() { return *privateWindows; }
    SafetyOverlayWindowController& safetyOverlay() { return *safetyOverlayController; }
    AudiencePreviewWindowController& preview() { return *audiencePreview; }
    DisplaySelectionController& displays() { return *displaySelection; }
    KeynoteController& keynote() { return *keynoteController; }
    PresentationSyncController& sync() { return *syncController; }
    const PresentationSafetyState& safetyState() const { return presentationState; }
    bool isShieldActive() const { return systemMirrorShieldActive; }
    bool isEmergencyLocalHidden() const { return emergencyLocalHidden; }
    bool appSharingEnabled() const { return isAppSharingEnabled; }
    const QString& lastReason() const { return lastSafetyReason; }
    bool isStarted() const { return topologyTimer != nullptr; }
    // The last Keynote notes or import result line, and whether it was an error.
    const std::pair<QString, bool>& keynoteNotesResult() const { return lastKeynoteNotesResult; }

    // Panel commands and handlers, reachable from tests as the panel reaches them.
    void startPrivacyOutputDirectly();
    void stopPrivacyOutputAndReturn();
    void toggleAppSharing();
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

    // Safety.
    void handlePresentationStateChange(const PresentationSafetyState& state);
    bool isAutomationAllowed() const;
    void updateAutomationAvailability();
    void enterSafetyShield(const QString& reason);
    void hidePrivateSurfaces(bool allowSafetyOverlay = false);
    void enforceStartupSafety();
    void recallPrompter();
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

    Life life_ = std::make_shared<AppCoordinator*>(this);

    // Built in this order; each later one may receive earlier ones.
    std::unique_ptr<PrivateWindowRegistry> privateWindows;
    std::unique_ptr<IslandPreferences> preferences;
    std::unique_ptr<PrompterPreferences> prompterPreferencesStorage;
    std::unique_ptr<ScreenMirrorEngine> mirrorEngine;
    std::unique_ptr<DisplaySelectionController> displaySelection;
    std::unique_ptr<SafetyOverlayWindowController> safetyOverlayController;
    std::unique_ptr<AudiencePreviewWindowController> audiencePreview;
    std::unique_ptr<PromptScript> promptScript;
    std::unique_ptr<KeynoteController> keynoteController;
    std::unique_ptr<PresentationSyncController> syncController;

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
    QString lastSafetyReason = QStringLiteral("私密窗口保持隐藏");
    std::pair<QString, bool> lastKeynoteNotesResult;

    PrompterPreferences& prompterPreferences();
};

} // namespace quorvia
