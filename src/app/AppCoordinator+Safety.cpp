#include "app/AppCoordinator.h"

#include "platform/desktop/Panel.h"
#include "platform/Platform.h"
#include "platform/desktop/ScreenSpace.h"
#include "privacy/DisplayTopology.h"

#include <QApplication>

#include <algorithm>
#include <utility>

namespace quorvia {

using Kind = PresentationSafetyState::Kind;

bool AppCoordinator::isSystemMirroring() { return DisplayTopology::snapshot().isMirroring(); }

void AppCoordinator::handlePresentationStateChange(const PresentationSafetyState& state)
{
    presentationState = state;
    if (!state.allowsAudiencePreview())
        audiencePreview->stop();
    updateAutomationAvailability();
    presentationModule->update(state);
    if (prompterController)
        prompterController->update(state);

    switch (state.kind()) {
    case Kind::degraded:
    case Kind::preparing:
    case Kind::standby:
    case Kind::preflighting:
        break;
    case Kind::safeStopped:
        enterSafetyShield(state.reason());
        break;
    case Kind::disabled:
        if (isSystemMirroring()) {
            enterSafetyShield(stillMirroredReason);
        } else {
            systemMirrorShieldActive = false;
            safetyOverlayController->hide();
            if (mayRevealPrivateWindows())
                revealPrivateWindows();
        }
        break;
    case Kind::live:
        safetyOverlayController->hide();
        systemMirrorShieldActive = false;
        if (mayRevealPrivateWindows())
            revealPrivateWindows();
        privateWindows->clampAllToBuiltInScreen();
        break;
    case Kind::privacyPaused:
        hidePrivateSurfaces(false);
        break;
    }
}

bool AppCoordinator::isAutomationAllowed() const
{
    if (presentationState.kind() == Kind::live)
        return true;
    if (presentationState.kind() != Kind::disabled)
        return false;
    const auto& keynote = keynoteController->state();
    return keynote.kind == KeynoteConnectionState::Kind::ready && keynote.isPlaying;
}

void AppCoordinator::updateAutomationAvailability()
{
    const bool allowed = isAutomationAllowed();
    if (allowed) {
        syncController->setSafetyState(PresentationSafetyState::live());
        speechAutomation->setSafetyState(PresentationSafetyState::live());
    } else {
        autoScroll->pause();
        syncController->setSafetyState(presentationState);
        speechAutomation->setSafetyState(presentationState);
    }
    presentationModule->updateAutomationAvailability();
    if (prompterController)
        prompterController->setAutomationAvailable(allowed);
}

void AppCoordinator::enterSafetyShield(const QString& reason)
{
    autoScroll->pause();
    prompterHost->captureReadingPosition();
    syncController->setSafetyState(PresentationSafetyState::safeStopped(reason));
    speechAutomation->setSafetyState(PresentationSafetyState::safeStopped(reason));
    hidePrivateSurfaces(true);
    systemMirrorShieldActive = true;
    lastSafetyReason = reason;
    safetyOverlayResumeTimer.reset();
    safetyOverlayController->show(reason);
}

void AppCoordinator::hidePrivateSurfaces(bool allowSafetyOverlay)
{
    auto keep = mirrorEngine->audienceOutputWindows();
    if (allowSafetyOverlay)
        keep.push_back(&safetyOverlayController->window());
    privateWindows->hideAllAppOwnedWindows(keep, true);
}

void AppCoordinator::monitorTopology()
{
    presentationModule->refreshAudienceDisplays();
    reserveAudienceDisplay();
    mirrorEngine->keepAudienceWindowsOnTheirDisplays();
    audiencePreview->handleTopologyChange(displaySelection->selectedDisplayID());
    const DisplaySnapshot snapshot = DisplayTopology::snapshot();
    if (!snapshot.isMirroring()) {
        mirrorEngine->handleTopologyChange();
        forgetEndedMirroring();
        if (!systemMirrorShieldActive) {
            watchBuiltInScreen();
            privateWindows->clampAllToBuiltInScreen();
        }
    } else {
        if (!systemMirrorShieldActive)
            enterSafetyShield(QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
        if (presentationState.kind() != Kind::disabled && presentationState.kind() != Kind::safeStopped)
            mirrorEngine->failClosed(QStringLiteral("系统镜像无法保证私密窗口排除"));
    }
    // A shield raised while the screens were being sorted out shows its mask
    // as soon as the speaker's screen is known; one shown follows that screen
    // whatever holds, the emergency key's hide too.
    if (!isShuttingDown) {
        if (systemMirrorShieldActive && !emergencyLocalHidden)
            safetyOverlayController->showIfWaiting();
        safetyOverlayController->followSpeakersScreen();
    }
    if (audioDevices->refresh()) {
        speechAutomation->audioRouteChanged();
        platform::NotificationCenter::defaultCenter().post(NotificationName::audioDeviceTopologyChanged, audioDevices.get());
    }
}

// A display once given to the audience stays theirs until another is: the
// speaker's screen is never guessed onto it.
void AppCoordinator::reserveAudienceDisplay()
{
    if (const auto id = displaySelection->selectedDisplayID())
        platform::current().displays().setAudienceDisplay(id);
}

// Once mirroring has ended the mask no longer says it runs, neither now nor
// when it comes back: the shield itself stands until its own ways out.
void AppCoordinator::forgetEndedMirroring()
{
    if (!systemMirrorShieldActive)
        return;
    if (lastSafetyReason == stillMirroredReason)
        lastSafetyReason = keptHiddenReason;
    const QString shown = safetyOverlayController->reason();
    if (shown == retryWhileMirroredReason || shown == stillMirroredReason)
        safetyOverlayController->setReason(lastSafetyReason);
}

void AppCoordinator::enforceStartupSafety()
{
    if (!isSystemMirroring()) {
        systemMirrorShieldActive = false;
        platform::current().application().activateIgnoringOtherApps();
        showIsland();
        if (auto* window = islandController->window(); window && !awaitingBuiltInScreen)
            window->makeKeyAndOrderFront();
    } else {
        enterSafetyShield(QStringLiteral("启动时检测到系统镜像；私密窗口保持隐藏"));
    }
}

void AppCoordinator::showIsland()
{
    if (!islandController)
        return;
    if (DisplayTopology::builtInScreen()) {
        islandController->showWindow();
        return;
    }
    if (auto* window = islandController->window())
        privateWindows->rememberAsVisible(window);
    watchBuiltInScreen();
}

void AppCoordinator::watchBuiltInScreen()
{
    if (!DisplayTopology::builtInScreen()) {
        if (!awaitingBuiltInScreen) {
            awaitingBuiltInScreen = true;
            hidePrivateSurfaces(false);
            // The hardware names the speaker's screen while the window system
            // still lags behind: the mask there says why everything went.
            if (!systemMirrorShieldActive && mayRevealPrivateWindows() && DisplayTopology::safetyOverlayScreen())
                safetyOverlayController->show(QStringLiteral("显示器列表尚未一致；私密窗口已先隐藏"));
        }
        return;
    }
    if (!awaitingBuiltInScreen)
        return;
    awaitingBuiltInScreen = false;
    if (!systemMirrorShieldActive && !presentationState.isSafeStopped())
        safetyOverlayController->hide();
    if (mayRevealPrivateWindows() && presentationState.allowsPrimaryWindowRecovery()
        && !presentationState.isSafeStopped())
        revealPrivateWindows();
}

void AppCoordinator::revealPrivateWindows()
{
    // Shown now they could land on the audience's screen: they wait for the
    // speaker's, which the display watch brings back.
    if (!DisplayTopology::builtInScreen()) {
        watchBuiltInScreen();
        return;
    }
    placeWhatIsOwed();
    privateWindows->restorePreviouslyVisible();
}

unsigned AppCoordinator::privateWindowHolds() const
{
    const auto held = [](bool holds, Hold hold) { return holds ? unsigned(hold) : 0u; };
    return held(emergencyLocalHidden, emergencyHide) | held(isShuttingDown, quitting) | held(systemMirrorShieldActive, shield)
        | held(presentationState.kind() == Kind::privacyPaused, privacyPause) | held(awaitingBuiltInScreen, awaitingScreen)
        | held(!DisplayTopology::builtInScreen(), noBuiltInScreen) | held(privateWindows->hasRestorationSnapshot(), restorePending);
}

void AppCoordinator::retryAfterSafetyStop()
{
    if (!isSystemMirroring()) {
        safetyOverlayResumeTimer.reset();
        safetyOverlayController->hide();
        startPrivacyOutputDirectly();
    } else {
        safetyOverlayController->show(retryWhileMirroredReason);
    }
}

void AppCoordinator::temporarilyExitSafetyOverlay()
{
    safetyOverlayController->hide();
    const WeakLife weak = life_;
    safetyOverlayResumeTimer = platform::Timer::scheduled(safetyOverlayReturnDelay, false, [weak] {
        auto* self = alive(weak);
        if (self && self->systemMirrorShieldActive)
            self->safetyOverlayController->show(self->lastSafetyReason);
    });
}

bool AppCoordinator::shouldSuppressAudiencePointer(platform::Point point) const
{
    if (isAppSharingEnabled)
        return false;
    if (privateWindows->containsVisiblePrivateWindow(point))
        return true;
    auto excluded = mirrorEngine->audienceOutputWindows();
    excluded.push_back(&safetyOverlayController->window());
    for (platform::Window* window : platform::Window::allWindows()) {
        if (!window->isVisible() || std::find(excluded.begin(), excluded.end(), window) != excluded.end())
            continue;
        if (window->frame().contains(point))
            return true;
    }
    // Alerts, choosers and sheets are the application's windows too.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || qobject_cast<platform::Window*>(widget))
            continue;
        if (platform::fromQtGlobal(QRectF(widget->frameGeometry())).contains(point))
            return true;
    }
    return false;
}

void AppCoordinator::screenParametersChanged()
{
    const auto snapshot = DisplayTopology::configurationSnapshot();
    const bool caughtUp = displayConfigurationSnapshot && !snapshot.hasSameVisibleFrames(*displayConfigurationSnapshot);
    displayConfigurationSnapshot = snapshot;
    monitorTopology();
    if (caughtUp || isPlacingOwed())
        schedulePlacing();
}

// One change brings several notices, from the server and from Qt as it
// catches up: the placing waits until they have all been handled.
void AppCoordinator::schedulePlacing()
{
    if (std::exchange(isPlacingScheduled, true))
        return;
    platform::MainQueue::async(weakly(&AppCoordinator::placeOrKeepPlaces));
}

void AppCoordinator::placeOrKeepPlaces()
{
    isPlacingScheduled = false;
    // Hidden windows keep their old place in the window system: what a change
    // owes them is placed on the way out of the hold.
    if (!mayPlacePrivateWindows())
        return;
    if (isPlacingOwed())
        placeAfterDisplayChange();
    else
        keepPlaces();
}

void AppCoordinator::keepPlaces()
{
    // The same displays: only the panels may differ from those last kept for.
    placedConfiguration = displayConfigurationSnapshot;
    placementWatch.place(false, [this] { positionPrivateWindows(); });
}

void AppCoordinator::placeWhatIsOwed()
{
    // A placing after a change forgets the input itself.
    if (isPlacingOwed()) {
        placeAfterDisplayChange();
        return;
    }
    // Nothing the speaker did before or during the hold moves a window after
    // it, but for a drag still held through it.
    placementWatch.forgetInput(true);
    // The same screens as before: a window the window manager pushed about
    // as the hold began (the lid closing) goes back where it stood, and below
    // a panel that came meanwhile.
    for (platform::Window* window : privateWindows->windowsToRestore())
        window->returnToPlace();
    if (displayConfigurationSnapshot && placedConfiguration && !displayConfigurationSnapshot->hasSameVisibleFrames(*placedConfiguration))
        keepPlaces();
}

void AppCoordinator::placeAfterDisplayChange()
{
    placedConfiguration = displayConfigurationSnapshot;
    recallPrompter();
    placementWatch.place(true, [this] { positionPrivateWindows(); });
}

void AppCoordinator::positionPrivateWindows()
{
    const auto keepsItsPlace = [this](const QWidget* window) { return placementWatch.isSpeakers(window); };
    if (!keepsItsPlace(islandController->window()))
        islandController->positionOnBuiltInScreen();
    const auto position = [&](auto& controller) {
        if (controller && !keepsItsPlace(controller->window()))
            controller->positionOnBuiltInScreen();
    };
    position(scriptEditorController);
    position(scriptManagementController);
    position(slideMappingController);
    position(audioSetupController);
    position(cloudAISettingsController);
    privateWindows->centreDialogsOnBuiltInScreen(keepsItsPlace);
}

void AppCoordinator::recallPrompter()
{
    autoScroll->pause();
    if (prompterHost->placement() != PrompterHost::Placement::window)
        return;
    releasePrompterWindow();
    prompterHost->setPlacement(PrompterHost::Placement::island);
}

void AppCoordinator::restorePrimaryWindowAfterReopen()
{
    // The quit hid everything for good and ended the overlay's inhibit;
    // nothing would end either a second time.
    if (isShuttingDown)
        return;
    if (systemMirrorShieldActive || presentationState.isSafeStopped()) {
        safetyOverlayController->show(lastSafetyReason);
        return;
    }
    if (isSystemMirroring()) {
        enterSafetyShield(QStringLiteral("检测到系统镜像；私密窗口保持隐藏"));
        return;
    }
    if (emergencyLocalHidden || !presentationState.allowsPrimaryWindowRecovery())
        return;
    if (!DisplayTopology::builtInScreen()) {
        watchBuiltInScreen();
        return;
    }
    platform::current().application().activateIgnoringOtherApps();
    islandController->restoreAfterApplicationReopen();
    privateWindows->clampAllToBuiltInScreen();
}

void AppCoordinator::handleEmergencyToggle()
{
    const Kind kind = presentationState.kind();
    // The audience sees the pause page: this press resumes it.
    if (kind == Kind::privacyPaused) {
        // The press ends the key's hide either way: on unsafe displays the
        // shield holds the windows, and its mask waits for the laptop screen.
        emergencyLocalHidden = false;
        if (DisplayTopology::snapshot().isSafe(displaySelection->selectedDisplayID())) {
            mirrorEngine->resumeAfterPrivacyPause();
        } else {
            mirrorEngine->failClosed(QStringLiteral("紧急恢复时显示器拓扑不安全"));
        }
        return;
    }
    // The hide holds until the next press whatever the output does meanwhile:
    // a pause the engine refuses, or a state that later reads live or disabled,
    // must not bring the windows back.
    if (!emergencyLocalHidden) {
        emergencyLocalHidden = true;
        hidePrivateSurfaces(false);
        if (kind == Kind::live || kind == Kind::degraded)
            mirrorEngine->privacyPause();
        return;
    }
    // The hide stays while mirroring lasts: each later press tries the
    // restore again and meets the shield again.
    if (isSystemMirroring()) {
        enterSafetyShield(stillMirroredReason);
        return;
    }
    // Mirroring has ended under the shield: only the shield's own ways out
    // may reveal the windows.
    if (systemMirrorShieldActive) {
        emergencyLocalHidden = false;
        forgetEndedMirroring();
        safetyOverlayController->show(lastSafetyReason);
        return;
    }
    emergencyLocalHidden = false;
    if (kind == Kind::safeStopped)
        return;
    revealPrivateWindows();
    if (kind == Kind::live)
        privateWindows->clampAllToBuiltInScreen();
}

} // namespace quorvia
