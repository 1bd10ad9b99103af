#include "platform/Window.h"
#include "platform/linux/LinuxCaptureService.h"
#include "platform/linux/LinuxPermissionService.h"
#include "platform/linux/LinuxPointerService.h"
#include "platform/linux/LinuxProcessService.h"
#include "platform/ScreenSpace.h"
#include "privacy/ScreenMirrorEngine.h"
#include "support/FakeDisplayService.h"
#include "support/FakeWorkspace.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace quorvia;

// The whole output on the real X11 capture, pointer and process backends, with
// the manual clock. The X server's first screen stands in as the built-in one
// and an audience display is made up beside it. Runs only under X11 (for
// example xvfb-run with QT_QPA_PLATFORM=xcb).
TEST(ScreenMirrorEngineX11, GoesLiveAndStaysHealthyOnARealServer)
{
    if (!platform::native::LinuxCaptureService::isAvailable())
        GTEST_SKIP() << "needs an X11 session";
    test::TestPlatform env;
    auto& p = env.platform();
    auto displays = std::make_shared<test::FakeDisplayService>();
    auto builtIn = test::FakeDisplayService::builtIn(1);
    builtIn.frame = builtIn.visibleFrame = platform::fromQtGlobal(QRectF(QGuiApplication::primaryScreen()->geometry()));
    displays->setScreens({builtIn, test::FakeDisplayService::external(2, QStringLiteral("Projector"),
                                                                      platform::Rect(builtIn.frame.maxX(), 0, 1280, 720))});
    p.displayService = displays;
    p.captureService = std::make_shared<platform::native::LinuxCaptureService>();
    p.permissionService = std::make_shared<platform::native::LinuxPermissionService>();
    p.pointerService = std::make_shared<platform::native::LinuxPointerService>();
    p.processService = std::make_shared<platform::native::LinuxProcessService>();
    p.workspaceService = std::make_shared<test::FakeWorkspace>();
    auto pump = [&](int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            env.scheduler().settle();
        }
    };

    ScreenMirrorEngine engine;
    engine.shouldSuppressPointer = [](platform::Point) { return false; };
    engine.arePrivateWindowsWithinSafeBounds = [] { return true; };
    engine.setSelectedExternalDisplayID(2);
    engine.setPrivacyOutputEnabled(true);
    pump(100);
    env.scheduler().advance(0.5);
    pump(300);
    for (int i = 0; i < 60; ++i) {
        env.scheduler().advance(1.0 / 30.0);
        pump(10);
    }
    EXPECT_EQ(engine.currentState(), PresentationSafetyState::live())
        << engine.currentState().title().toStdString() << " " << engine.currentState().detail().toStdString();
    ASSERT_NE(engine.output().window(), nullptr);
    engine.output().window()->grab().save(QStringLiteral("/tmp/quorvia-engine-x11.png"));

    bool done = false;
    engine.shutdown([&] { done = true; });
    pump(200);
    EXPECT_TRUE(done);
}
