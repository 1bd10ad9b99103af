#pragma once

#include <memory>

namespace quorvia::platform {

class Scheduler;
class DefaultsStore;
class DisplayService;
class CaptureService;
class PermissionService;
class Workspace;
class ScriptRunner;
class PointerService;
class ProcessService;
class AudioService;
class SpeechService;
class Keychain;
class HotKeyService;
class ApplicationShell;
class Animator;
class DialogService;
class WindowSystem;
class WriteGate;

// The platform's shared instances. The application installs the Linux set at
// start; each test installs the fakes it needs. Reaching a service that was not
// installed is a programming error and aborts.
class Platform {
public:
    Scheduler& scheduler() const;
    DefaultsStore& defaults() const;
    DisplayService& displays() const;
    CaptureService& capture() const;
    PermissionService& permissions() const;
    Workspace& workspace() const;
    ScriptRunner& scriptRunner() const;
    PointerService& pointer() const;
    ProcessService& process() const;
    AudioService& audio() const;
    SpeechService& speech() const;
    Keychain& keychain() const;
    HotKeyService& hotKeys() const;
    ApplicationShell& application() const;
    Animator& animator() const;
    DialogService& dialogs() const;
    // May be absent, unlike the others: windows then do without it.
    WindowSystem* windowSystem() const { return windowSystemService.get(); }

    std::shared_ptr<Scheduler> schedulerService;
    std::shared_ptr<DefaultsStore> defaultsService;
    std::shared_ptr<DisplayService> displayService;
    std::shared_ptr<CaptureService> captureService;
    std::shared_ptr<PermissionService> permissionService;
    std::shared_ptr<Workspace> workspaceService;
    std::shared_ptr<ScriptRunner> scriptRunnerService;
    std::shared_ptr<PointerService> pointerService;
    std::shared_ptr<ProcessService> processService;
    std::shared_ptr<AudioService> audioService;
    std::shared_ptr<SpeechService> speechService;
    std::shared_ptr<Keychain> keychainService;
    std::shared_ptr<HotKeyService> hotKeyService;
    std::shared_ptr<ApplicationShell> applicationService;
    std::shared_ptr<Animator> animatorService;
    std::shared_ptr<DialogService> dialogService;
    std::shared_ptr<WindowSystem> windowSystemService;
    // Optional too: without it every write goes ahead. Read through
    // installedWriteGate(), since the stores ask it on their own threads.
    std::shared_ptr<WriteGate> writeGateService;
};

Platform& current();
bool hasCurrent();
// Replaces the whole set; returns the previous one so tests can restore it.
std::unique_ptr<Platform> install(std::unique_ptr<Platform> platform);
// The installed set's write gate, or none; from any thread, even while
// install() runs. Set the gate before any write begins, as the other services.
std::shared_ptr<WriteGate> installedWriteGate();

} // namespace quorvia::platform
