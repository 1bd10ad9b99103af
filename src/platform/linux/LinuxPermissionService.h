#pragma once

#include "platform/PermissionService.h"

namespace quorvia::platform::native {

// X11 and PulseAudio ask no permission: recording is allowed wherever our
// capture works, and the microphone wherever a capture device exists. The
// device list belongs to the main thread, so off it the microphone's status is
// not determined and a request is answered from the main thread. Keynote does
// not exist here, so controlling it is never allowed.
class LinuxPermissionService final : public PermissionService {
public:
    bool preflightScreenCaptureAccess() override;
    bool requestScreenCaptureAccess() override { return preflightScreenCaptureAccess(); }
    AuthorizationStatus microphoneAuthorizationStatus() const override;
    void requestMicrophoneAccess(std::function<void(bool)> completion) override;
    AuthorizationStatus automationAuthorizationStatus(const QString&) const override
    {
        return AuthorizationStatus::denied;
    }
    void requestAutomationAccess(const QString&, std::function<void(bool)> completion) override { completion(false); }
};

} // namespace quorvia::platform::native
