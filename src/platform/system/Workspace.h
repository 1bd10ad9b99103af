#pragma once

#include "platform/core/NotificationCenter.h"

#include <QString>

#include <functional>
#include <vector>

namespace quorvia::platform {

struct RunningApplication {
    QString bundleIdentifier;
    qint64 processIdentifier = 0;
    QString localizedName;
    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// Running applications, launching documents and the system settings.
class Workspace {
public:
    // Posted on notificationCenter() with the application in the user info.
    static inline const QString didLaunchApplication = QStringLiteral("WorkspaceDidLaunchApplication");
    static inline const QString didTerminateApplication = QStringLiteral("WorkspaceDidTerminateApplication");
    static inline const QString bundleIdentifierKey = QStringLiteral("bundleIdentifier");
    static inline const QString processIdentifierKey = QStringLiteral("processIdentifier");

    virtual ~Workspace() = default;

    virtual std::vector<RunningApplication> runningApplications() const = 0;
    virtual bool isApplicationInstalled(const QString& bundleIdentifier) const = 0;
    // Completion on the main queue: empty error text on success.
    virtual void openDocument(const QString& path, const QString& bundleIdentifier,
                              std::function<void(bool ok, const QString& error)> completion) = 0;
    // Answers on a later turn of the main queue: false when the desktop has
    // no display settings to open. Finding out may take the desktop a while,
    // so the asking never waits on the main thread.
    virtual void openDisplaySettings(std::function<void(bool opened)> completion) = 0;
    // Brings a running application forward; with allWindows, every one of its
    // windows. False when no such process runs.
    virtual bool activateApplication(qint64 processIdentifier, bool allWindows) = 0;

    NotificationCenter& notificationCenter() { return center_; }

protected:
    void postLaunch(const RunningApplication& app) { post(didLaunchApplication, app); }
    void postTermination(const RunningApplication& app) { post(didTerminateApplication, app); }

private:
    void post(const QString& name, const RunningApplication& app)
    {
        center_.post(name, this,
                     {{bundleIdentifierKey, app.bundleIdentifier}, {processIdentifierKey, app.processIdentifier}});
    }
    NotificationCenter center_;
};

} // namespace quorvia::platform
