#pragma once

#include <QString>

#include <functional>

namespace quorvia::platform {

enum class AuthorizationStatus { notDetermined, restricted, denied, authorized };

// The permissions the application asks the speaker for, each with a query and
// a request.
class PermissionService {
public:
    virtual ~PermissionService() = default;

    // Whether screen recording is already allowed; never prompts.
    virtual bool preflightScreenCaptureAccess() = 0;
    // May prompt; answers whether recording is allowed now.
    virtual bool requestScreenCaptureAccess() = 0;

    virtual AuthorizationStatus microphoneAuthorizationStatus() const = 0;
    // Completion on any thread.
    virtual void requestMicrophoneAccess(std::function<void(bool granted)> completion) = 0;

    // Whether this application may control the application with the bundle identifier.
    virtual AuthorizationStatus automationAuthorizationStatus(const QString& bundleIdentifier) const = 0;
    // Completion on any thread.
    virtual void requestAutomationAccess(const QString& bundleIdentifier,
                                         std::function<void(bool granted)> completion) = 0;
};

} // namespace quorvia::platform
