#pragma once

#include "app/AppCoordinator.h"
#include "support/FakeApplicationShell.h"
#include "support/FakeAudioService.h"
#include "support/FakeCaptureService.h"
#include "support/FakeDialogService.h"
#include "support/FakeDisplayService.h"
#include "support/FakeHotKeyService.h"
#include "support/MemoryKeychain.h"
#include "support/FakePermissionService.h"
#include "support/FakePointerService.h"
#include "support/FakeProcessService.h"
#include "support/FakeVideoSurface.h"
#include "support/FakeWorkspace.h"
#include "support/SimulatedKeynote.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvia::test {

// The whole application over fakes: one built-in screen, Keynote installed but
// not running, dialogs answered from queues and the manual clock.
class CoordinatorHarness : public ::testing::Test {
protected:
    CoordinatorHarness()
    {
        auto& p = env.platform();
        p.displayService = displays;
        p.captureService = capture;
        p.permissionService = permissions;
        p.pointerService = pointer;
        p.processService = process;
        p.workspaceService = workspace;
        p.scriptRunnerService = keynote;
        p.dialogService = dialogs;
        p.applicationService = shell;
        p.hotKeyService = hotKeys;
        p.keychainService = keychain;
        p.audioService = audio;
        keynote->attach(*workspace);
        displays->setScreens({FakeDisplayService::builtIn(1)});
    }

    ~CoordinatorHarness() override
    {
        // What a test left running must not outlive its fakes.
        for (auto& stream : capture->streams)
            stream->abandonPending();
        coordinator.reset();
    }

    void build()
    {
        coordinator = std::make_unique<AppCoordinator>();
        subject = coordinator.get();
    }
    void buildAndStart()
    {
        build();
        coordinator->start();
        settle();
    }
    AppCoordinator& app() { return *subject; }

    void settle() { env.scheduler().settle(); }
    // Advances in small steps, running queued work as it comes.
    void runFor(double seconds)
    {
        for (double t = 0; t < seconds - 1e-9; t += 0.05) {
            env.scheduler().advance(0.05);
            settle();
        }
    }

    // A running Keynote showing Talk.key with the given slide count.
    void openKeynote(int slides = 12)
    {
        keynote->launch();
        keynote->open(
            SimulatedKeynote::Document::withSlides(QStringLiteral("Talk.key"), QStringLiteral("/x/Talk.key"), slides));
    }

    // An audience display plugged in, everything shareable, this application
    // and Keynote running.
    void plugAudienceDisplay()
    {
        if (displays->screens().size() < 2)
            displays->plug(FakeDisplayService::external(2));
        shareScreens(displays->screens());
        settle();
    }

    // These screens shareable, this application running.
    void shareScreens(const std::vector<platform::Screen>& screens)
    {
        capture->content.displays.clear();
        for (const auto& screen : screens)
            capture->content.displays.push_back(FakeCaptureService::display(*screen.displayID, screen.frame));
        capture->content.applications = {{QStringLiteral("com.local.quorvia"), QStringLiteral("Quorvia"), process->pid}};
    }

    // Starts the privacy output through the panel's command and carries it live.
    void goLive()
    {
        plugAudienceDisplay();
        carryOutputLive();
    }

    // The panel's start command, then the capture answering until the first frame.
    void carryOutputLive()
    {
        app().startPrivacyOutputDirectly();
        answerOutputStart();
    }

    // The capture answering a start already asked for, until the first frame.
    void answerOutputStart()
    {
        env.scheduler().runPending();
        env.scheduler().advance(0.5);
        ASSERT_TRUE(capture->answerContent());
        env.scheduler().runPending();
        ASSERT_NE(capture->lastStream(), nullptr);
        ASSERT_TRUE(capture->lastStream()->completeStart());
        env.scheduler().runPending();
        deliverFrame();
        ASSERT_EQ(app().safetyState(), PresentationSafetyState::live());
    }

    void deliverFrame()
    {
        capture->lastStream()->deliver(platform::FrameStatus::complete);
        env.scheduler().drainQueue(ScreenMirrorEngine::captureQueueLabel);
        env.scheduler().runPending();
    }

    // Control-Option-Command-H.
    void pressEmergencyKey()
    {
        hotKeys->press(GlobalHotKeyController::emergencyKeyCode, GlobalHotKeyController::emergencyModifiers);
        settle();
    }

    void mirrorDisplays()
    {
        if (displays->screens().size() < 2)
            displays->plug(FakeDisplayService::external(2));
        displays->mirror(1, 2);
    }

    TestPlatform env;
    FakeVideoSurfaces surfaces;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    std::shared_ptr<FakeCaptureService> capture = std::make_shared<FakeCaptureService>();
    std::shared_ptr<FakePermissionService> permissions = std::make_shared<FakePermissionService>();
    std::shared_ptr<FakePointerService> pointer = std::make_shared<FakePointerService>();
    std::shared_ptr<FakeProcessService> process = std::make_shared<FakeProcessService>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<SimulatedKeynote> keynote = std::make_shared<SimulatedKeynote>();
    std::shared_ptr<FakeDialogService> dialogs = std::make_shared<FakeDialogService>();
    std::shared_ptr<FakeApplicationShell> shell = std::make_shared<FakeApplicationShell>();
    std::shared_ptr<FakeHotKeyService> hotKeys = std::make_shared<FakeHotKeyService>();
    std::shared_ptr<MemoryKeychain> keychain = std::make_shared<MemoryKeychain>();
    std::shared_ptr<FakeAudioService> audio = std::make_shared<FakeAudioService>();
    std::unique_ptr<AppCoordinator> coordinator;
    // The coordinator under test, whoever owns it.
    AppCoordinator* subject = nullptr;
};

} // namespace quorvia::test
