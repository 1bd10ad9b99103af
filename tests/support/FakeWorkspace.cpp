#include "support/FakeWorkspace.h"

#include "platform/core/MainQueue.h"

#include <algorithm>

namespace quorvia::test {

void FakeWorkspace::openDocument(const QString& path, const QString& bundleIdentifier,
                                 std::function<void(bool, const QString&)> completion)
{
    openedDocuments.append(path);
    if (onOpenDocument && openDocumentSucceeds)
        onOpenDocument(path, bundleIdentifier);
    const bool ok = openDocumentSucceeds;
    const QString error = ok ? QString() : openDocumentError;
    platform::MainQueue::async([completion = std::move(completion), ok, error] {
        if (completion)
            completion(ok, error);
    });
}

bool FakeWorkspace::activateApplication(qint64 processIdentifier, bool allWindows)
{
    const bool running = std::any_of(running_.begin(), running_.end(), [&](const auto& app) {
        return app.processIdentifier == processIdentifier;
    });
    if (running)
        activations.push_back({processIdentifier, allWindows});
    return running;
}

void FakeWorkspace::setInstalled(const QString& bundleIdentifier, bool installed)
{
    if (installed)
        installed_.insert(bundleIdentifier);
    else
        installed_.remove(bundleIdentifier);
}

void FakeWorkspace::launch(const platform::RunningApplication& app)
{
    running_.push_back(app);
    postLaunch(app);
}

void FakeWorkspace::terminate(const QString& bundleIdentifier)
{
    auto it = std::find_if(running_.begin(), running_.end(),
                           [&](const auto& app) { return app.bundleIdentifier == bundleIdentifier; });
    if (it == running_.end())
        return;
    const auto app = *it;
    running_.erase(it);
    postTermination(app);
}

} // namespace quorvia::test
