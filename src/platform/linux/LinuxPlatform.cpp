#include "platform/linux/LinuxPlatform.h"

#include "platform/Platform.h"
#include "platform/linux/network/LibsecretKeychain.h"
#include "platform/linux/capture/LinuxCaptureService.h"
#include "platform/linux/system/LinuxPermissionService.h"
#include "platform/linux/desktop/LinuxPointerService.h"
#include "platform/linux/system/LinuxProcessService.h"
#include "platform/linux/system/LinuxScriptRunner.h"
#include "platform/linux/system/LinuxWorkspace.h"
#include "platform/linux/dialogs/QtDialogService.h"
#include "platform/linux/sound/PocketSphinxSpeechService.h"
#include "platform/linux/sound/PulseAudioService.h"
#include "platform/linux/displays/QtDisplayService.h"
#include "platform/linux/displays/RandrDisplayService.h"
#include "platform/linux/application/QtScheduler.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "platform/linux/desktop/X11HotKeyService.h"
#include "platform/linux/desktop/X11WindowSystem.h"
#include "platform/core/ClockAnimator.h"
#include "platform/linux/desktop/XcbConnection.h"

namespace quorvia::platform::native {

namespace {
// What any window of ours needs: time, screens and the window manager's hints.
std::unique_ptr<Platform> windowServices()
{
    auto platform = std::make_unique<Platform>();
    platform->schedulerService = std::make_shared<QtScheduler>();
    // Outside an X session (or without RandR) only Qt's own view is left.
    auto randr = qtOnX11() ? std::make_shared<RandrDisplayService>() : nullptr;
    if (randr && randr->isAvailable())
        platform->displayService = randr;
    else
        platform->displayService = std::make_shared<QtDisplayService>();
    platform->windowSystemService = std::make_shared<X11WindowSystem>();
    return platform;
}
} // namespace

void installWindowPlatform() { install(windowServices()); }

void installLinuxPlatform(std::shared_ptr<WriteGate> writeGate)
{
    auto platform = windowServices();
    platform->writeGateService = std::move(writeGate);
    platform->workspaceService = std::make_shared<LinuxWorkspace>();
    platform->scriptRunnerService = std::make_shared<LinuxScriptRunner>();
    platform->captureService = std::make_shared<LinuxCaptureService>();
    platform->permissionService = std::make_shared<LinuxPermissionService>();
    platform->pointerService = std::make_shared<LinuxPointerService>();
    platform->processService = std::make_shared<LinuxProcessService>();
    // Without an X server it refuses every hot key, which the callers accept.
    platform->hotKeyService = std::make_shared<X11HotKeyService>();
    platform->keychainService = std::make_shared<LibsecretKeychain>();
    platform->animatorService = std::make_shared<ClockAnimator>();
    platform->dialogService = std::make_shared<QtDialogService>();
    platform->audioService = std::make_shared<PulseAudioService>();
    platform->speechService = std::make_shared<PocketSphinxSpeechService>();
    install(std::move(platform));
    // Made once the set holds the gate, so its writer never writes ungated.
    current().defaultsService = std::make_shared<SettingsDefaults>();
}

} // namespace quorvia::platform::native
