#pragma once

#include "platform/system/PermissionService.h"

namespace quorvia::platform::native {

// X11 and PulseAudio ask no permission: recording is allowed wherever our
// capture works, and the microphone is never refused (a machine without one
// finds that out when the capture is bound to it). Keynote does not exist
// here, so controlling it is never allowed.
class LinuxPermissionService final : public PermissionService {
public:
    bool preflightScreenCaptureAccess() override;
    bool requestScreenCaptureAccess() override { return preflightScreenCaptureAccess(); }
    AuthorizationStatus microphoneAuthorizationStatus() const override { return AuthorizationStatus::authorized; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override { completion(true); }
    AuthorizationStatus automationAuthorizationStatus(const QString&) const override
    {
        return AuthorizationStatus::denied;
    }
    void requestAutomationAccess(const QString&, std::function<void(bool)> completion) override { completion(false); }
};

} // namespace quorvia::platform::native
