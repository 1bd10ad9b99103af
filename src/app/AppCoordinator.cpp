#include "app/AppCoordinator.h"

#include "platform/displays/DisplayService.h"
#include "platform/Platform.h"
#include "privacy/DisplayTopology.h"

#include <QDialog>

#include <algorithm>

namespace quorvia {

AppCoordinator::AppCoordinator(std::shared_ptr<platform::HttpSession> cloudSession)
    : registry(std::make_unique<IslandModuleRegistry>()),
      privateWindows(std::make_unique<PrivateWindowRegistry>()),
      alerts(std::make_unique<AlertRunner>()),
      preferences(std::make_unique<IslandPreferences>()),
      mirrorEngine(std::make_unique<ScreenMirrorEngine>()),
      displaySelection(std::make_unique<DisplaySelectionController>()),
      safetyOverlayController(std::make_unique<SafetyOverlayWindowController>()),
      globalHotKeys(std::make_unique<GlobalHotKeyController>()),
      cloudAISettings(std::make_unique<CloudAISettings>()),
      cloudAIMatcher(std::make_unique<CloudAIMatcher>(std::move(cloudSession))),
      audiencePreview(std::make_unique<AudiencePreviewWindowController>()),
      projectModule(std::make_shared<ProjectManagementModule>()),
      autoScroll(std::make_unique<AutoScrollController>()),
      promptScript(std::make_unique<PromptScript>()),
      prompterHost(std::make_unique<PrompterHost>(*promptScript, *autoScroll)),
      keynoteController(std::make_unique<KeynoteController>()),
      syncController(std::make_unique<PresentationSyncController>(*promptScript, *keynoteController)),
      audioDevices(std::make_unique<AudioDeviceController>()),
      onDeviceSpeech(std::make_unique<OnDeviceSpeechController>(*audioDevices)),
      speechAutomation(std::make_unique<SpeechAutomationController>(*promptScript, *onDeviceSpeech, *audioDevices)),
      speechAutomationAdapter(std::make_unique<PrompterSpeechAutomationAdapter>(*speechAutomation)),
      presentationModule(std::make_shared<PresentationModule>(*promptScript, *autoScroll, *prompterHost,
                                                              *displaySelection, *keynoteController,
                                                              *syncController, *speechAutomationAdapter))
{
}

// Nothing is torn down here: shutdown() removes timers, observers and callbacks.
AppCoordinator::~AppCoordinator() = default;

AppCoordinator* AppCoordinator::alive(const WeakLife& weak)
{
    const auto life = weak.lock();
    return life ? *life : nullptr;
}

std::function<void()> AppCoordinator::weakly(void (AppCoordinator::*handler)())
{
    return [weak = WeakLife(life_), handler] {
        if (auto* self = alive(weak))
            (self->*handler)();
    };
}

PrompterPreferences& AppCoordinator::prompterPreferences()
{
    if (!prompterPreferencesStorage)
        prompterPreferencesStorage = std::make_unique<PrompterPreferences>(nullptr, *preferences);
    return *prompterPreferencesStorage;
}

void AppCoordinator::start()
{
    configureModules();
    reserveAudienceDisplay();
    displayConfigurationSnapshot = DisplayTopology::configurationSnapshot();
    placedConfiguration = displayConfigurationSnapshot;

    islandController = std::make_unique<IslandWindowController>(registry->modules(), *preferences);
    for (platform::Window* window : islandController->privateWindows())
        privateWindows->registerWindow(window);
    privateWindows->setKeyboardHome(islandController->window());
    const WeakLife weak = life_;
    islandController->onWindowFrameChanged = [weak] {
        if (auto* self = alive(weak))
            self->privateWindows->clampAllToBuiltInScreen();
    };
    islandController->onWillCollapse = [weak] {
        if (auto* self = alive(weak))
            self->autoScroll->pause();
    };
    privateWindows->addTransitionSettler([weak] {
        std::vector<platform::Window*> shown;
        if (auto* self = alive(weak)) {
            self->islandController->settleForHide();
            if (self->prompterController)
                shown = self->prompterController->settleForHide();
        }
        return shown;
    });
    alerts->isHoldingWindows = [weak] {
        auto* self = alive(weak);
        return self && self->isHoldingPrivateWindows();
    };
    privateWindows->onRestored = [weak] {
        if (auto* self = alive(weak))
            self->alerts->windowsReturned();
    };

    configureSafetyControls();

    keynoteStateObserver = platform::NotificationCenter::defaultCenter().observe(
        KeynoteController::keynoteConnectionStateChanged, keynoteController.get(), [weak](const auto&) {
            if (auto* self = alive(weak))
                self->updateAutomationAvailability();
        });

    mirrorEngine->onStateChange = [weak](const PresentationSafetyState& state) {
        if (auto* self = alive(weak))
            self->handlePresentationStateChange(state);
    };
    mirrorEngine->onWillFailClosed = [weak](const QString& reason) {
        if (auto* self = alive(weak))
            self->enterSafetyShield(reason);
    };
    mirrorEngine->shouldSuppressPointer = [weak](platform::Point point) {
        auto* self = alive(weak);
        return self ? self->shouldSuppressAudiencePointer(point) : true;
    };
    mirrorEngine->arePrivateWindowsWithinSafeBounds = [weak] {
        auto* self = alive(weak);
        return self ? self->privateWindows->visibleWindowsAreOnBuiltInScreen() : false;
    };

    audiencePreview->onWindowCreated = [weak](platform::Window* window) {
        if (auto* self = alive(weak))
            self->privateWindows->registerWindow(window);
    };
    audiencePreview->onVisibilityChange = [weak](bool visible) {
        if (auto* self = alive(weak))
            self->presentationModule->setAudiencePreviewVisible(visible);
    };

    screenParametersObserver = platform::NotificationCenter::defaultCenter().observe(
        platform::DisplayService::screenParametersChangedNotification, nullptr, [weak](const auto&) {
            if (auto* self = alive(weak))
                self->screenParametersChanged();
        });

    placementWatch.placesWindow = [weak](const QWidget& window) {
        auto* self = alive(weak);
        return self && (qobject_cast<const QDialog*>(&window) || std::ranges::count(self->privateWindows->registeredWindows(), &window));
    };
    placementWatch.isSettled = [weak] {
        auto* self = alive(weak);
        return self && self->mayPlacePrivateWindows() && !self->isPlacingOwed(DisplayTopology::configurationSnapshot());
    };
    placementWatch.onMovedByWindowManager = [weak](QWidget&) {
        if (auto* self = alive(weak))
            self->schedulePlacing();
    };

    topologyTimer = platform::Timer::scheduled(topologyInterval, true, weakly(&AppCoordinator::monitorTopology));

    buildMainMenu();
    // What start-up leaves hidden is built once the island is on screen, so
    // the speaker sees it sooner; the display watch's first tick is a second
    // away, and anything that needs it before then builds it on the spot.
    if (auto* island = islandController->window())
        island->onFirstPaint = weakly(&AppCoordinator::prepareHiddenWindows);
    platform::MainQueue::asyncAfter(hiddenWindowsLatestDelay, weakly(&AppCoordinator::prepareHiddenWindows));
    enforceStartupSafety();

    localKeyMonitor = platform::current().application().addLocalKeyMonitor([weak](const platform::KeyPress& press) {
        auto* self = alive(weak);
        return self ? self->handleLocalKeyDown(press) : false;
    });
}

void AppCoordinator::prepareHiddenWindows()
{
    safetyOverlayController->prepareWindow();
    // No device list shows at start; the sound server is asked once the island is up.
    audioDevices->loadDevices();
}

void AppCoordinator::configureModules()
{
    auto& panel = *presentationModule;
    const WeakLife weak = life_;
    panel.onStartPrivacyOutput = weakly(&AppCoordinator::startPrivacyOutputDirectly);
    panel.onStopPrivacyOutput = weakly(&AppCoordinator::stopPrivacyOutputAndReturn);
    panel.onTogglePrompterPlacement = weakly(&AppCoordinator::togglePrompterPlacement);
    panel.onEditScript = [weak] {
        if (auto* self = alive(weak))
            self->showScriptEditor(std::nullopt);
    };
    panel.onOpenScriptManagement = weakly(&AppCoordinator::showScriptManagement);
    panel.onToggleAppSharing = weakly(&AppCoordinator::toggleAppSharing);
    panel.onToggleAutoScroll = [weak] {
        auto* self = alive(weak);
        if (!self)
            return;
        if (self->autoScroll->isRunning())
            self->autoScroll->pause();
        else
            self->autoScroll->start();
    };
    panel.onSelectProject = [weak](const QUuid& id) {
        auto* self = alive(weak);
        return self ? self->selectPresentationProject(id) : false;
    };
    panel.onCreateProject = weakly(&AppCoordinator::createPresentationProject);
    panel.onRenameProject = weakly(&AppCoordinator::renamePresentationProject);
    panel.onDeleteProject = weakly(&AppCoordinator::deletePresentationProject);
    panel.onDuplicateProject = weakly(&AppCoordinator::duplicatePresentationProject);
    panel.onImportProjectBackup = weakly(&AppCoordinator::importProjectBackup);
    panel.onExportProjectBackup = weakly(&AppCoordinator::exportProjectBackup);
    panel.onImportKeynoteDocument = weakly(&AppCoordinator::importKeynoteDocument);
    panel.onReplaceKeynoteNotes = weakly(&AppCoordinator::replaceKeynotePresenterNotes);
    panel.onRestoreKeynoteNotes = weakly(&AppCoordinator::restoreKeynotePresenterNotes);
    panel.onOpenAudioSetup = weakly(&AppCoordinator::showAudioSetup);
    panel.onToggleAudiencePreview = weakly(&AppCoordinator::toggleAudiencePreview);
    registry->registerModule(presentationModule);
    registry->registerModule(projectModule);
}

void AppCoordinator::configureSafetyControls()
{
    safetyOverlayController->onRetry = weakly(&AppCoordinator::retryAfterSafetyStop);
    safetyOverlayController->onStopAndReturn = weakly(&AppCoordinator::stopPrivacyOutputAndReturn);
    safetyOverlayController->onTemporaryExit = weakly(&AppCoordinator::temporarilyExitSafetyOverlay);
    globalHotKeys->onEmergencyToggle = weakly(&AppCoordinator::handleEmergencyToggle);
}

void AppCoordinator::buildMainMenu()
{
    auto& shell = platform::current().application();
    std::vector<platform::MenuItem> items;
    // The status icon's menu is there while the private windows are held: no new one shows then.
    items.push_back({QStringLiteral("关于Quorvia"), {}, [weak = WeakLife(life_), &shell] {
                         auto* self = alive(weak);
                         if (!self || self->isHoldingPrivateWindows())
                             return;
                         // Kept on the speaker's screen and hidden with the others from its first show.
                         self->privateWindows->registerWindow(shell.standardAboutPanel());
                         shell.orderFrontStandardAboutPanel();
                     }});
    items.push_back({{}, {}, nullptr, true});
    items.push_back({QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_Q), [&shell] { shell.terminate(platform::QuitRequest::speaker); }});
    shell.setMainMenu(std::move(items));
}

bool AppCoordinator::handleLocalKeyDown(const platform::KeyPress& press)
{
    if (press.command || press.control || press.option)
        return false;
    if (press.key != platform::KeyPress::Key::left && press.key != platform::KeyPress::Key::right)
        return false;
    const auto& shell = platform::current().application();
    const auto& dialogs = platform::current().dialogs();
    if (shell.hasModalWindow() || dialogs.isPresenting())
        return false;
    QWidget* key = shell.keyWindow();
    if (dialogs.isFilePanelKey()
        || (key && scriptEditorController && key == scriptEditorController->window())
        || (key && scriptManagementController && key == scriptManagementController->window()))
        return false;
    if (shell.focusIsInTextInput())
        return false;

    autoScroll->pause();
    if (press.key == platform::KeyPress::Key::left)
        promptScript->movePrevious(PresentationEventSource::manualPrompt);
    else
        promptScript->moveNext(PresentationEventSource::manualPrompt);
    return true;
}

} // namespace quorvia
