#include "app/AppCoordinator.h"

#include "privacy/DisplayTopology.h"

namespace quorvia {

using Kind = PresentationSafetyState::Kind;

void AppCoordinator::startPrivacyOutputDirectly()
{
    if (presentationState.kind() != Kind::disabled && presentationState.kind() != Kind::safeStopped)
        return;
    audiencePreview->stop();
    if (isSystemMirroring()) {
        enterSafetyShield(QStringLiteral("系统镜像无法排除私密窗口；请先切换为扩展显示"));
        return;
    }
    systemMirrorShieldActive = false;
    emergencyLocalHidden = false;
    safetyOverlayController->hide();
    displaySelection->refresh();
    reserveAudienceDisplay();
    const auto id = displaySelection->selectedDisplayID();
    mirrorEngine->setSelectedExternalDisplayID(id);
    mirrorEngine->setPrivacyOutputEnabled(true);
    if (id)
        keynoteController->activateForPresentationIfPlaying();
}

void AppCoordinator::stopPrivacyOutputAndReturn()
{
    mirrorEngine->setPrivacyOutputEnabled(false);
    if (isSystemMirroring()) {
        enterSafetyShield(QStringLiteral("隐私输出已停止，但系统镜像仍在运行"));
        return;
    }
    systemMirrorShieldActive = false;
    emergencyLocalHidden = false;
    safetyOverlayResumeTimer.reset();
    safetyOverlayController->hide();
    revealPrivateWindows();
    if (islandController && (!islandController->window() || !islandController->window()->isVisible()))
        showIsland();
}

void AppCoordinator::toggleAppSharing()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    isAppSharingEnabled = !isAppSharingEnabled;
    privateWindows->setSharingEnabled(isAppSharingEnabled);
    mirrorEngine->setIncludesOwnApplication(isAppSharingEnabled);
    presentationModule->setAppSharingEnabled(isAppSharingEnabled);
}

void AppCoordinator::releasePrompterWindow()
{
    if (!prompterController)
        return;
    prompterController->releaseScriptView();
    // Hidden meanwhile, it was remembered as showing; empty now, it must not come back.
    for (platform::Window* window : prompterController->privateWindows())
        privateWindows->forgetVisibility(window);
}

void AppCoordinator::togglePrompterPlacement()
{
    if (prompterHost->placement() == PrompterHost::Placement::window) {
        releasePrompterWindow();
        prompterHost->setPlacement(PrompterHost::Placement::island);
    } else {
        prompterHost->setPlacement(PrompterHost::Placement::window);
        prompterWindow().takeOverScriptView();
    }
}

PrompterWindowController& AppCoordinator::prompterWindow()
{
    if (prompterController)
        return *prompterController;
    auto controller = std::make_unique<PrompterWindowController>(*promptScript, *autoScroll, *prompterHost,
                                                                 prompterPreferences(), *speechAutomationAdapter,
                                                                 *syncController);
    controller->update(presentationState);
    controller->setAutomationAvailable(isAutomationAllowed());
    const WeakLife weak = life_;
    controller->onCloseRequested = [weak] {
        auto* self = alive(weak);
        if (self && self->prompterHost->placement() == PrompterHost::Placement::window)
            self->togglePrompterPlacement();
    };
    prompterController = std::move(controller);
    for (platform::Window* window : prompterController->privateWindows())
        privateWindows->registerWindow(window);
    return *prompterController;
}

void AppCoordinator::showAudioSetup()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    if (!audioSetupController) {
        auto* automation = speechAutomation.get();
        AudioSetupWindowController::Automation bridge;
        bridge.status = [automation] { return std::pair(automation->status().title(), automation->status().detail()); };
        bridge.hasVerifiedOutputRoute = [automation] { return automation->hasVerifiedOutputRoute(); };
        bridge.setOutputRouteVerified = [automation](bool verified) { automation->setOutputRouteVerified(verified); };
        bridge.audioRouteChanged = [automation] { automation->audioRouteChanged(); };
        audioSetupController = std::make_unique<AudioSetupWindowController>(*audioDevices, std::move(bridge));
        if (auto* window = audioSetupController->window())
            privateWindows->registerWindow(window);
    }
    audioSetupController->present();
}

void AppCoordinator::toggleAudiencePreview()
{
    if (!presentationState.allowsAudiencePreview()) {
        audiencePreview->stop();
        return;
    }
    displaySelection->refresh();
    const auto id = displaySelection->selectedDisplayID();
    if (!id) {
        presentationModule->refreshAudienceDisplays();
        presentationModule->setAudiencePreviewVisible(false);
        return;
    }
    if (audiencePreview->isVisible())
        audiencePreview->stop();
    else
        audiencePreview->start(*id);
}

} // namespace quorvia
