#include "platform/linux/LinuxPermissionService.h"

#include "platform/AudioService.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxCaptureService.h"

#include <algorithm>

namespace quorvia::platform::native {

bool LinuxPermissionService::preflightScreenCaptureAccess() { return LinuxCaptureService::isAvailable(); }

AuthorizationStatus LinuxPermissionService::microphoneAuthorizationStatus() const
{
    if (!hasCurrent() || !current().audioService)
        return AuthorizationStatus::denied;
    const auto devices = current().audio().devices();
    const bool hasInput = std::any_of(devices.begin(), devices.end(), [](const auto& d) { return d.inputChannels > 0; });
    return hasInput ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
}

} // namespace quorvia::platform::native
