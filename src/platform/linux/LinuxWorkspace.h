#pragma once

#include "platform/Workspace.h"

namespace quorvia::platform::native {

// Slide show applications of the design do not exist on Linux, so none is ever
// running or installed; documents open with the desktop's default handler.
class LinuxWorkspace final : public Workspace {
public:
    std::vector<RunningApplication> runningApplications() const override { return {}; }
    bool isApplicationInstalled(const QString&) const override { return false; }
    void openDocument(const QString& path, const QString& bundleIdentifier,
                      std::function<void(bool, const QString&)> completion) override;
    bool openDisplaySettings() override;
    bool activateApplication(qint64, bool) override { return false; }
};

} // namespace quorvia::platform::native
