#pragma once

#include "platform/system/Workspace.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace quorvia::platform::native {

// The slide show application the controller drives has no Linux version, so
// none is ever running or installed: the controller says it is missing rather
// than driving something else. Documents open with the desktop's default handler.
class LinuxWorkspace final : public Workspace {
public:
    // How long the desktop may take to say whether it opens settings links.
    static constexpr double queryDeadlineSeconds = 2.0;

    std::vector<RunningApplication> runningApplications() const override { return {}; }
    bool isApplicationInstalled(const QString&) const override { return false; }
    void openDocument(const QString& path, const QString& bundleIdentifier,
                      std::function<void(bool, const QString&)> completion) override;
    void openDisplaySettings(std::function<void(bool)> completion) override;
    bool activateApplication(qint64, bool) override { return false; }

    // Runs a program in a process group of its own and answers what it wrote,
    // when it ended well within `seconds`. The group is ended either way, so
    // nothing it started outlives the answer. Blocks: never on the main thread.
    static std::optional<QByteArray> runBriefly(const QString& program, const QStringList& arguments, double seconds);
};

} // namespace quorvia::platform::native
