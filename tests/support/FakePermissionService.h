#pragma once

#include "platform/system/PermissionService.h"

#include <QHash>

namespace quorvia::test {

// Answers as the test sets it; requests grant when the matching flag says so.
class FakePermissionService final : public platform::PermissionService {
public:
    bool preflightScreenCaptureAccess() override
    {
        ++screenPreflights;
        return screenCaptureGranted;
    }
    bool requestScreenCaptureAccess() override
    {
        ++screenRequests;
        if (screenRequestGrants)
            screenCaptureGranted = true;
        return screenCaptureGranted;
    }

    platform::AuthorizationStatus microphoneAuthorizationStatus() const override { return microphone; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override
    {
        ++microphoneRequests;
        if (microphone == platform::AuthorizationStatus::notDetermined)
            microphone = microphoneRequestGrants ? platform::AuthorizationStatus::authorized
                                                 : platform::AuthorizationStatus::denied;
        completion(microphone == platform::AuthorizationStatus::authorized);
    }

    platform::AuthorizationStatus automationAuthorizationStatus(const QString& bundleIdentifier) const override
    {
        return automation.value(bundleIdentifier, platform::AuthorizationStatus::notDetermined);
    }
    void requestAutomationAccess(const QString& bundleIdentifier, std::function<void(bool)> completion) override
    {
        ++automationRequests;
        if (automationAuthorizationStatus(bundleIdentifier) == platform::AuthorizationStatus::notDetermined)
            automation[bundleIdentifier] = automationRequestGrants ? platform::AuthorizationStatus::authorized
                                                                   : platform::AuthorizationStatus::denied;
        completion(automation[bundleIdentifier] == platform::AuthorizationStatus::authorized);
    }

    bool screenCaptureGranted = true;
    bool screenRequestGrants = false;
    int screenPreflights = 0;
    int screenRequests = 0;

    platform::AuthorizationStatus microphone = platform::AuthorizationStatus::authorized;
    bool microphoneRequestGrants = true;
    int microphoneRequests = 0;

    QHash<QString, platform::AuthorizationStatus> automation;
    bool automationRequestGrants = true;
    int automationRequests = 0;
};

} // namespace quorvia::test
