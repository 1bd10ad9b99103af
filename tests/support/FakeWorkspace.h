#pragma once

#include "platform/core/MainQueue.h"
#include "platform/system/Workspace.h"

#include <QSet>
#include <QStringList>

namespace quorvia::test {

// Applications come and go when the test says so; launch and quit notices are
// posted synchronously, as the test changes the list.
class FakeWorkspace final : public platform::Workspace {
public:
    std::vector<platform::RunningApplication> runningApplications() const override { return running_; }
    bool isApplicationInstalled(const QString& bundleIdentifier) const override
    {
        return installed_.contains(bundleIdentifier);
    }
    void openDocument(const QString& path, const QString& bundleIdentifier,
                      std::function<void(bool, const QString&)> completion) override;
    void openDisplaySettings(std::function<void(bool)> completion) override
    {
        ++displaySettingsOpened;
        platform::MainQueue::async([completion = std::move(completion), opened = displaySettingsAvailable] {
            if (completion)
                completion(opened);
        });
    }

    bool activateApplication(qint64 processIdentifier, bool allWindows) override;

    void setInstalled(const QString& bundleIdentifier, bool installed = true);
    void launch(const platform::RunningApplication& app);
    void terminate(const QString& bundleIdentifier);

    // Set by a test to act on an opened document (for example, a simulated app).
    std::function<void(const QString& path, const QString& bundleIdentifier)> onOpenDocument;
    bool openDocumentSucceeds = true;
    QString openDocumentError = QStringLiteral("无法打开文稿");
    QStringList openedDocuments;
    struct Activation {
        qint64 processIdentifier = 0;
        bool allWindows = false;
        friend bool operator==(const Activation&, const Activation&) = default;
    };
    std::vector<Activation> activations;
    int displaySettingsOpened = 0;
    bool displaySettingsAvailable = true;

private:
    std::vector<platform::RunningApplication> running_;
    QSet<QString> installed_;
};

} // namespace quorvia::test
