#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace quorvia::platform {

namespace {
std::unique_ptr<Platform>& slot()
{
    static std::unique_ptr<Platform> instance;
    return instance;
}

// Held while the set is swapped, so another thread reads the gate of one set.
std::mutex& swapping()
{
    static std::mutex mutex;
    return mutex;
}

template <typename T>
T& require(const std::shared_ptr<T>& service, const char* name)
{
    if (!service) {
        std::fprintf(stderr, "platform service not installed: %s\n", name);
        std::abort();
    }
    return *service;
}
} // namespace

Platform& current()
{
    auto& instance = slot();
    if (!instance) {
        std::fprintf(stderr, "no platform installed\n");
        std::abort();
    }
    return *instance;
}

bool hasCurrent() { return slot() != nullptr; }

std::unique_ptr<Platform> install(std::unique_ptr<Platform> platform)
{
    std::lock_guard lock(swapping());
    auto previous = std::move(slot());
    slot() = std::move(platform);
    return previous;
}

std::shared_ptr<WriteGate> installedWriteGate()
{
    std::lock_guard lock(swapping());
    return slot() ? slot()->writeGateService : nullptr;
}

Scheduler& Platform::scheduler() const { return require(schedulerService, "scheduler"); }
DefaultsStore& Platform::defaults() const { return require(defaultsService, "defaults"); }
DisplayService& Platform::displays() const { return require(displayService, "displays"); }
CaptureService& Platform::capture() const { return require(captureService, "capture"); }
PermissionService& Platform::permissions() const { return require(permissionService, "permissions"); }
Workspace& Platform::workspace() const { return require(workspaceService, "workspace"); }
ScriptRunner& Platform::scriptRunner() const { return require(scriptRunnerService, "scriptRunner"); }
PointerService& Platform::pointer() const { return require(pointerService, "pointer"); }
ProcessService& Platform::process() const { return require(processService, "process"); }
AudioService& Platform::audio() const { return require(audioService, "audio"); }
SpeechService& Platform::speech() const { return require(speechService, "speech"); }
Keychain& Platform::keychain() const { return require(keychainService, "keychain"); }
HotKeyService& Platform::hotKeys() const { return require(hotKeyService, "hotKeys"); }
ApplicationShell& Platform::application() const { return require(applicationService, "application"); }
Animator& Platform::animator() const { return require(animatorService, "animator"); }
DialogService& Platform::dialogs() const { return require(dialogService, "dialogs"); }

} // namespace quorvia::platform
