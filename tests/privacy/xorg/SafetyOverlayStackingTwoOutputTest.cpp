#include "platform/desktop/Panel.h"
#include "platform/linux/application/QtScheduler.h"
#include "privacy/SafetyOverlayWindowController.h"
#include "support/EventWait.h"
#include "support/FakeDisplayService.h"
#include "support/FakeProcessService.h"
#include "support/FakeWorkspace.h"
#include "support/QtPrinting.h"
#include "support/StackingWatch.h"
#include "support/TestPlatform.h"
#include "support/TwoOutputXServer.h"
#include "support/WindowManager.h"


#include <gtest/gtest.h>

#include <memory>

using namespace quorvia;
using test::TwoOutputXServer;

namespace {

// On the laptop screen beside a projector, under a window manager that frames
// the alert and stacks the frame itself, a modal alert run through the dialog
// service while the mask is up is beneath the mask from the moment the frame
// is mapped, and so is a popover, which no window manager stacks.
TEST(SafetyOverlayStackingTwoOutputTest, WindowsOfOursShownWhileTheMaskIsUpAreMappedBeneathIt)
{
    const QString display = TwoOutputXServer::display();
    ASSERT_FALSE(display.isEmpty()) << "the two-output test X server did not start";
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    test::WindowManager manager(display);
    ASSERT_TRUE(manager.start()) << manager.failure().toStdString();
    test::TestPlatform env;
    auto& p = env.platform();
    p.schedulerService = std::make_shared<platform::native::QtScheduler>();
    auto displays = std::make_shared<test::FakeDisplayService>();
    platform::Screen builtIn = test::FakeDisplayService::builtIn(1);
    builtIn.frame = builtIn.visibleFrame = platform::Rect(0, 0, 1920, 1080);
    displays->setScreens({builtIn});
    p.displayService = displays;
    p.processService = std::make_shared<test::FakeProcessService>();
    p.workspaceService = std::make_shared<test::FakeWorkspace>();

    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
    ASSERT_TRUE(test::waitUntil([&] { return overlay.window().testAttribute(Qt::WA_Mapped); }));
    const auto mask = std::uint32_t(overlay.window().winId());
    test::StackingWatch stack(display);
    stack.expectAnAlertBeneath(mask);

    // A popover is left to us by the window manager, as the mask is.
    platform::Window popover(platform::Rect(600, 400, 240, 120), platform::WindowStyle::popover);
    popover.orderFront();
    const std::uint32_t popoverID = stack.waitUntilMapped(std::uint32_t(popover.winId()));
    EXPECT_GT(stack.placeWhenMapped(popoverID, mask), stack.placeWhenMapped(popoverID, popoverID))
        << "the popover was mapped above the mask";
}

} // namespace
