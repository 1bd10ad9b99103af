#include "keynote/KeynoteController.h"

#include "keynote/KeynoteScripts.h"
#include "platform/core/NotificationCenter.h"
#include "platform/system/Workspace.h"

#include <cstdio>
#include <cstdlib>

namespace quorvia {

namespace {

void call(const KeynoteController::Completion& completion, bool value)
{
    if (completion)
        completion(value);
}

} // namespace

KeynoteController::KeynoteController() : probeQueue_(probeQueueLabel)
{
    state_ = installedBundleIdentifier() ? KeynoteConnectionState::notRunning() : KeynoteConnectionState::notInstalled();
}

KeynoteController::~KeynoteController() = default;

const std::vector<QString>& KeynoteController::bundleIdentifiers()
{
    static const std::vector<QString> identifiers{QStringLiteral("com.apple.Keynote"),
                                                  QStringLiteral("com.apple.iWork.Keynote")};
    return identifiers;
}

std::optional<QString> KeynoteController::installedBundleIdentifier()
{
    const auto& workspace = platform::current().workspace();
    for (const auto& identifier : bundleIdentifiers())
        if (workspace.isApplicationInstalled(identifier))
            return identifier;
    return std::nullopt;
}

std::optional<QString> KeynoteController::runningBundleIdentifier()
{
    const auto running = platform::current().workspace().runningApplications();
    for (const auto& identifier : bundleIdentifiers())
        for (const auto& app : running)
            if (app.bundleIdentifier == identifier)
                return identifier;
    return std::nullopt;
}

void KeynoteController::requireMainThread()
{
    if (!platform::MainQueue::isMainThread()) {
        std::fprintf(stderr, "KeynoteController used off the main thread\n");
        std::abort();
    }
}

void KeynoteController::refresh()
{
    requireMainThread();
    performProbe(true);
}

void KeynoteController::performProbe(bool showCheckingState)
{
    // The script already on its way answers for this probe too.
    if (isProbeInFlight_)
        return;
    if (!installedBundleIdentifier()) {
        update(KeynoteConnectionState::notInstalled(), std::nullopt);
        return;
    }
    const auto running = runningBundleIdentifier();
    if (!running) {
        update(KeynoteConnectionState::notRunning(), std::nullopt);
        return;
    }
    startRun<ProbeResult>(*running, &KeynoteScripts::readCurrentSlide, [this](ProbeResult result, bool isStale) {
        if (isStale)
            return;
        const Alive stillHere = alive();
        update(result.state, result.identity);
        if (!stillHere.expired())
            runPendingSlideCommandIfNeeded();
    });
    if (showCheckingState)
        update(KeynoteConnectionState::checking(), std::nullopt);
}

void KeynoteController::update(const KeynoteConnectionState& state,
                               const std::optional<KeynoteDocumentIdentity>& identity)
{
    if (state == state_ && identity == documentIdentity_)
        return;
    state_ = state;
    documentIdentity_ = identity;
    platform::NotificationCenter::defaultCenter().post(keynoteConnectionStateChanged, this);
}

void KeynoteController::setMonitoringEnabled(bool enabled)
{
    requireMainThread();
    if (enabled == isMonitoring_)
        return;
    isMonitoring_ = enabled;
    monitoringTimer_.reset();
    if (enabled) {
        performProbe(!state_.isReady());
        monitoringTimer_ = platform::Timer::scheduled(monitoringInterval, true, [this, alive = alive()] {
            if (!alive.expired())
                performProbe(false);
        });
    }
    platform::NotificationCenter::defaultCenter().post(keynoteMonitoringStateChanged, this);
}

void KeynoteController::stop()
{
    setMonitoringEnabled(false);
    ++probeGeneration_;
    failPendingSlideCommand();
}

void KeynoteController::goToSlide(int slideNumber, Completion completion)
{
    requireMainThread();
    if (!state_.isReady() || slideNumber < 1 || slideNumber > state_.slideCount) {
        call(completion, false);
        return;
    }
    const auto running = runningBundleIdentifier();
    if (!running) {
        call(completion, false);
        return;
    }
    if (isProbeInFlight_) {
        // Only the newest request matters; the one it replaces is not a failure.
        auto replaced = std::exchange(pendingSlideCommand_, PendingSlideCommand{slideNumber, std::move(completion)});
        if (replaced)
            call(replaced->completion, true);
        return;
    }
    startRun<ProbeResult>(
        *running,
        [slideNumber](platform::ScriptRunner& runner, const QString& bundleIdentifier) {
            return KeynoteScripts::setCurrentSlide(runner, slideNumber, bundleIdentifier);
        },
        [this, completion = std::move(completion)](ProbeResult result, bool isStale) {
            if (isStale) {
                call(completion, false);
                return;
            }
            const Alive stillHere = alive();
            if (!result.state.isReady()) {
                update(result.state, result.identity);
                call(completion, false);
                if (!stillHere.expired())
                    failPendingSlideCommand();
                return;
            }
            // With a newer command parked, its own result will be the one recorded.
            if (!pendingSlideCommand_)
                update(result.state, result.identity);
            call(completion, true);
            if (!stillHere.expired())
                runPendingSlideCommandIfNeeded();
        });
}

void KeynoteController::runPendingSlideCommandIfNeeded()
{
    if (isProbeInFlight_ || !pendingSlideCommand_)
        return;
    PendingSlideCommand command = std::move(*pendingSlideCommand_);
    pendingSlideCommand_.reset();
    goToSlide(command.slideNumber, std::move(command.completion));
}

void KeynoteController::failPendingSlideCommand()
{
    auto command = std::exchange(pendingSlideCommand_, std::nullopt);
    if (command)
        call(command->completion, false);
}

void KeynoteController::showNextBuild(Completion completion)
{
    executePlaybackCommand(KeynoteScripts::showNextCommand, std::move(completion));
}

void KeynoteController::showPreviousSlide(Completion completion)
{
    executePlaybackCommand(KeynoteScripts::showPreviousCommand, std::move(completion));
}

void KeynoteController::startSlideshow(Completion completion)
{
    executePlaybackCommand(KeynoteScripts::startCommand, std::move(completion));
}

void KeynoteController::stopSlideshow(Completion completion)
{
    executePlaybackCommand(KeynoteScripts::stopCommand, std::move(completion));
}

void KeynoteController::executePlaybackCommand(const QString& command, Completion completion)
{
    requireMainThread();
    const auto running = state_.isReady() ? runningBundleIdentifier() : std::nullopt;
    if (!running || isProbeInFlight_) {
        call(completion, false);
        return;
    }
    startRun<ProbeResult>(
        *running,
        [command](platform::ScriptRunner& runner, const QString& bundleIdentifier) {
            return KeynoteScripts::executeCommand(runner, command, bundleIdentifier);
        },
        [this, completion = std::move(completion)](ProbeResult result, bool isStale) {
            if (isStale) {
                call(completion, false);
                return;
            }
            update(result.state, result.identity);
            call(completion, result.state.isReady());
        });
}

void KeynoteController::activateForPresentationIfPlaying()
{
    requireMainThread();
    if (!state_.isReady() || !state_.isPlaying)
        return;
    const auto running = runningBundleIdentifier();
    if (!running)
        return;
    auto& workspace = platform::current().workspace();
    for (const auto& app : workspace.runningApplications()) {
        if (app.bundleIdentifier == *running) {
            workspace.activateApplication(app.processIdentifier, false);
            return;
        }
    }
}

} // namespace quorvia
