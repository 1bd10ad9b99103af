#include "platform/linux/LinuxPermissionService.h"

#include "platform/AudioService.h"
#include "platform/MainQueue.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxCaptureService.h"

#include <algorithm>

namespace quorvia::platform::native {

bool LinuxPermissionService::preflightScreenCaptureAccess() { return LinuxCaptureService::isAvailable(); }

namespace {
// Main thread only.
bool hasCaptureDevice()
{
    if (!hasCurrent() || !current().audioService)
        return false;
    const auto devices = current().audio().devices();
    return std::any_of(devices.begin(), devices.end(), [](const auto& d) { return d.inputChannels > 0; });
}
} // namespace

AuthorizationStatus LinuxPermissionService::microphoneAuthorizationStatus() const
{
    if (!hasCurrent())
        return AuthorizationStatus::denied;
    if (!MainQueue::isMainThread())
        return AuthorizationStatus::notDetermined;
    return hasCaptureDevice() ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
}

void LinuxPermissionService::requestMicrophoneAccess(std::function<void(bool)> completion)
{
    if (!hasCurrent()) {
        completion(false);
        return;
    }
    if (MainQueue::isMainThread()) {
        completion(hasCaptureDevice());
        return;
    }
    MainQueue::async([completion = std::move(completion)] { completion(hasCaptureDevice()); });
}

} // namespace quorvia::platform::native
