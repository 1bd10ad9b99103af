#include "platform/desktop/Window.h"
#include "platform/linux/capture/LinuxCaptureService.h"
#include "platform/linux/application/QtScheduler.h"
#include "platform/capture/VideoSurface.h"
#include "privacy/AudienceCanvasView.h"
#include "privacy/ScreenMirrorEngine.h"
#include "support/EventWait.h"
#include "support/FakeDisplayService.h"
#include "support/FakePermissionService.h"
#include "support/FakePointerService.h"
#include "support/FakeProcessService.h"
#include "support/FakeWorkspace.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace quorvia;
using State = PresentationSafetyState;

// The whole engine on the real clock, threads and X11 capture of the test X
// server's screen, which stands in as the built-in display; the audience
// display lies beside it, where no screen is.
class ScreenMirrorEngineX11Test : public ::testing::Test {
protected:
    ScreenMirrorEngineX11Test()
    {
        auto& p = env.platform();
        p.schedulerService = std::make_shared<platform::native::QtScheduler>();
        platform::Screen builtIn = test::FakeDisplayService::builtIn(1);
        builtIn.frame = builtIn.visibleFrame = platform::Rect(0, 0, 1920, 1080);
        displays->setScreens({builtIn, test::FakeDisplayService::external(2, QStringLiteral("Projector"),
                                                                            platform::Rect(1920, 0, 1920, 1080))});
        process->pid = QCoreApplication::applicationPid();
        p.displayService = displays;
        p.captureService = std::make_shared<platform::native::LinuxCaptureService>();
        p.permissionService = std::make_shared<test::FakePermissionService>();
        p.pointerService = std::make_shared<test::FakePointerService>();
        p.processService = process;
        p.workspaceService = std::make_shared<test::FakeWorkspace>();
    }

    std::unique_ptr<ScreenMirrorEngine> makeEngine()
    {
        auto engine = std::make_unique<ScreenMirrorEngine>();
        engine->arePrivateWindowsWithinSafeBounds = [] { return true; };
        engine->shouldSuppressPointer = [](platform::Point) { return false; };
        engine->setSelectedExternalDisplayID(2);
        return engine;
    }

    // Runs the event loop until the condition holds, at most for the timeout.

    // On, live, and a few pictures on the audience window.
    void goLive(ScreenMirrorEngine& engine)
    {
        engine.setPrivacyOutputEnabled(true);
        ASSERT_TRUE(test::waitUntil([&] { return engine.currentState() == State::live(); }))
            << engine.currentState().title().toStdString() << " " << engine.currentState().detail().toStdString();
        const auto* surface = engine.output().canvas()->videoSurface();
        const qint64 first = surface->displayedImage().cacheKey();
        // A change on screen makes the next picture.
        platform::Window changing(platform::Rect(0, 0, 120, 90), platform::WindowStyle::borderless);
        changing.setBackgroundColor(Qt::magenta);
        changing.orderFront();
        EXPECT_TRUE(test::waitUntil([&] { return surface->displayedImage().cacheKey() != first; }));
    }

    test::TestPlatform env;
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::shared_ptr<test::FakeProcessService> process = std::make_shared<test::FakeProcessService>();
};

// Every stop ends the capture on its own threads; the process must live on.
TEST_F(ScreenMirrorEngineX11Test, SwitchingOffAndFailingClosedWhileCapturingKeepsRunning)
{
    auto engine = makeEngine();
    for (int round = 0; round < 2; ++round) {
        goLive(*engine);
        engine->setPrivacyOutputEnabled(false);
        ASSERT_TRUE(test::waitUntil([&] { return engine->currentState() == State::disabled(); }));

        goLive(*engine);
        engine->failClosed(QStringLiteral("测试"));
        ASSERT_TRUE(test::waitUntil([&] {
            return !engine->hasStream() && engine->output().canvas()
                && engine->output().canvas()->mode().kind == AudienceOutputMode::Kind::safe;
        }));
        engine->setPrivacyOutputEnabled(false);
        ASSERT_TRUE(test::waitUntil([&] { return engine->currentState() == State::disabled(); }));
    }
    // Whatever the grab threads still finish runs out here.
    test::runEventsFor(200);
}

TEST_F(ScreenMirrorEngineX11Test, ShuttingDownWhileCapturingCompletesAndKeepsRunning)
{
    for (int round = 0; round < 2; ++round) {
        auto engine = makeEngine();
        goLive(*engine);
        bool done = false;
        engine->shutdown([&] { done = true; });
        ASSERT_TRUE(test::waitUntil([&] { return done; }));
        engine.reset();
        test::runEventsFor(100);
    }
}
