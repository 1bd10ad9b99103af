#include "platform/NotificationCenter.h"
#include "platform/Panel.h"
#include "platform/ScreenSpace.h"
#include "platform/Window.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia::platform;

TEST(Window, FrameKeepsFractionsAndAnnouncesOnlyRealChanges)
{
    Window window(Rect(10, 20, 300, 200));
    int moves = 0;
    int resizes = 0;
    int posted = 0;
    window.onDidMove = [&] { ++moves; };
    window.onDidResize = [&] { ++resizes; };
    auto obs = NotificationCenter::defaultCenter().observe(Window::didMoveNotification, &window,
                                                           [&](const Notification&) { ++posted; });

    window.setFrame(Rect(10.25, 20, 300, 200));
    EXPECT_EQ(window.frame(), Rect(10.25, 20, 300, 200));
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(resizes, 0);
    EXPECT_EQ(posted, 1);

    window.setFrame(Rect(10.25, 20, 300, 200));
    EXPECT_EQ(moves, 1);

    window.orderFront();
    QApplication::processEvents();
    // Showing replays Qt's pending geometry events; the frame they match is kept.
    EXPECT_EQ(window.frame(), Rect(10.25, 20, 300, 200));
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(resizes, 0);
}

TEST(Window, MoveFromOutsideIsReadBackInYUpSpace)
{
    Window window(Rect(0, 0, 200, 100));
    window.orderFront();
    QApplication::processEvents();
    int moves = 0;
    window.onDidMove = [&] { ++moves; };

    const QRect qt = toQtGlobal(Rect(50, 60, 200, 100));
    window.setGeometry(qt); // as the window manager would
    QApplication::processEvents();
    EXPECT_EQ(window.frame(), Rect(50, 60, 200, 100));
    EXPECT_EQ(moves, 1);
}

TEST(Window, LevelAndKeyEligibilityMapToWindowFlags)
{
    Window window(Rect(0, 0, 100, 100));
    window.orderFront();
    window.setLevel(Window::floatingLevel);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
    EXPECT_TRUE(window.isVisible()) << "a flag change must not hide a visible window";

    window.setLevel(Window::overlayLevel);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
    window.setLevel(Window::normalLevel);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    window.setIgnoresMouseEvents(true);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowTransparentForInput));
    window.setCanBecomeKey(false);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));
}

namespace {
class NeverKeyPanel final : public Panel {
public:
    bool canBecomeKey() const override { return false; }
};
} // namespace

TEST(Panel, OverriddenKeyEligibilityAppliesWhenShown)
{
    NeverKeyPanel panel;
    EXPECT_TRUE(panel.isPanel());
    panel.orderFrontRegardless();
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    panel.setFloatingPanel(true);
    EXPECT_EQ(panel.level(), Window::floatingLevel);
}

TEST(Window, OrderOutCloseAndTheLiveWindowList)
{
    auto window = std::make_unique<Window>(Rect(0, 0, 100, 100));
    Window* raw = window.get();
    const auto all = Window::allWindows();
    EXPECT_NE(std::find(all.begin(), all.end(), raw), all.end());

    int willClose = 0;
    window->onWillClose = [&] { ++willClose; };
    window->orderFront();
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_EQ(willClose, 1);
    EXPECT_FALSE(window->isVisible());

    window->orderFront();
    window->orderOut();
    EXPECT_FALSE(window->isVisible());
    window->orderOut();

    window.reset();
    const auto after = Window::allWindows();
    EXPECT_EQ(std::find(after.begin(), after.end(), raw), after.end());
}

TEST(Window, SharingTypeAndAlphaAreKept)
{
    Window window;
    window.setSharingType(SharingType::none);
    EXPECT_EQ(window.sharingType(), SharingType::none);
    window.setAlphaValue(0.5);
    EXPECT_DOUBLE_EQ(window.alphaValue(), 0.5);
    window.setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary);
    EXPECT_TRUE(contains(window.collectionBehavior(), CollectionBehavior::fullScreenAuxiliary));
    EXPECT_FALSE(contains(window.collectionBehavior(), CollectionBehavior::stationary));
}
