#include "keynote/KeynoteController.h"

#include "keynote/KeynoteScripts.h"
#include "platform/system/Workspace.h"

namespace quorvia {

void KeynoteController::openDocumentAndInspect(const QString& filePath, OpenCompletion completion)
{
    requireMainThread();
    const auto installed = installedBundleIdentifier();
    if (!installed) {
        completion(std::unexpected(KeynoteOpenError::notInstalled()));
        return;
    }
    auto& workspace = platform::current().workspace();
    workspace.openDocument(filePath, *installed,
                           [this, alive = alive(), filePath, bundleIdentifier = *installed,
                            completion = std::move(completion)](bool ok, const QString&) {
                               if (!ok || alive.expired()) {
                                   completion(std::unexpected(KeynoteOpenError::couldNotOpen()));
                                   return;
                               }
                               auto& workspace = platform::current().workspace();
                               for (const auto& app : workspace.runningApplications()) {
                                   if (app.bundleIdentifier == bundleIdentifier) {
                                       workspace.activateApplication(app.processIdentifier, true);
                                       break;
                                   }
                               }
                               inspectOpenedDocument(filePath, platform::uptime() + openDeadline, completion);
                           });
}

void KeynoteController::inspectOpenedDocument(const QString& filePath, double deadline, OpenCompletion completion)
{
    requireMainThread();
    if (platform::uptime() >= deadline) {
        completion(std::unexpected(importFailure(filePath)));
        return;
    }
    if (isProbeInFlight_) {
        scheduleInspection(openBusyRetryDelay, filePath, deadline, std::move(completion));
        return;
    }
    const auto running = runningBundleIdentifier();
    if (!running) {
        scheduleInspection(openRetryDelay, filePath, deadline, std::move(completion));
        return;
    }
    startRun<ProbeResult>(*running, &KeynoteScripts::readCurrentSlide,
                          [this, filePath, deadline, completion = std::move(completion)](ProbeResult result,
                                                                                         bool isStale) {
                              if (isStale) {
                                  completion(std::unexpected(importFailure(filePath)));
                                  return;
                              }
                              const Alive stillHere = alive();
                              // Observers see every answer of the inspection.
                              update(result.state, result.identity);
                              if (result.state.isReady() && result.identity && result.identity->matches(filePath)) {
                                  completion(KeynoteOpenedDocument{*result.identity, result.state.slideCount});
                                  return;
                              }
                              if (result.state.kind == KeynoteConnectionState::Kind::automationDenied) {
                                  completion(std::unexpected(KeynoteOpenError::automationDenied()));
                                  return;
                              }
                              if (!stillHere.expired())
                                  scheduleInspection(openRetryDelay, filePath, deadline, completion);
                          });
}

void KeynoteController::scheduleInspection(double delay, const QString& filePath, double deadline,
                                           OpenCompletion completion)
{
    platform::MainQueue::asyncAfter(delay, [this, alive = alive(), filePath, deadline,
                                            completion = std::move(completion)] {
        if (!alive.expired())
            inspectOpenedDocument(filePath, deadline, completion);
    });
}

KeynoteOpenError KeynoteController::importFailure(const QString& filePath) const
{
    if (!state_.isReady())
        return KeynoteOpenError::timedOut();
    if (!documentIdentity_)
        return KeynoteOpenError::identityUnavailable(filePath);
    return KeynoteOpenError::documentMismatch(filePath, documentIdentity_->name, documentIdentity_->filePath);
}

} // namespace quorvia
