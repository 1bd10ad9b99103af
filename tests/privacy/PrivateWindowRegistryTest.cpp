#include "privacy/PrivateWindowRegistry.h"

#include "privacy/IslandTriggerPanel.h"
#include "privacy/PrivateWindowBoundary.h"
#include "privacy/PrivateWindowGeometry.h"
#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia;
using platform::Rect;
using platform::SharingType;
using platform::Window;
using test::FakeDisplayService;

TEST(PrivateWindowGeometry, ClampMovesThenShrinks)
{
    const Rect visible(0, 0, 1440, 875);
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(-100, 100, 800, 600), visible), Rect(0, 100, 800, 600));
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(300, 100, 2000, 600), visible), Rect(0, 100, 1440, 600));
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(1000, 500, 800, 600), visible), Rect(640, 275, 800, 600));
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(10, 10, 3000, 2000), visible), visible);
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(20, 30, 100, 100), visible), Rect(20, 30, 100, 100));
    // Bounds that do not start at the origin.
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(0, 0, 100, 100), Rect(-1440, 200, 1440, 900)),
              Rect(-100, 200, 100, 100));
    EXPECT_EQ(bounds(PrivateWindowBoundary::fullDisplay, Rect(0, 0, 1, 1), Rect(0, 0, 2, 2)), Rect(0, 0, 1, 1));
    EXPECT_EQ(bounds(PrivateWindowBoundary::visibleDesktop, Rect(0, 0, 1, 1), Rect(0, 0, 2, 2)), Rect(0, 0, 2, 2));
}

namespace {
struct Registry : ::testing::Test {
    test::TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    PrivateWindowRegistry registry;

    Registry()
    {
        env.platform().displayService = displays;
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    }

    std::unique_ptr<Window> shown(const Rect& frame)
    {
        auto w = std::make_unique<Window>(frame);
        w->orderFront();
        return w;
    }
};
} // namespace

TEST_F(Registry, MovingAWindowOffTheBuiltInScreenClampsItBack)
{
    auto w = shown(Rect(100, 100, 800, 600));
    registry.registerWindow(w.get());
    int moves = 0;
    w->onDidMove = [&] { ++moves; };

    w->setFrame(Rect(-100, 100, 800, 600));
    EXPECT_EQ(w->frame(), Rect(0, 100, 800, 600));
    EXPECT_EQ(moves, 2) << "the move, then the clamp's own move, whose clamp changes nothing";

    w->setFrame(Rect(0, 100, 2000, 600));
    EXPECT_EQ(w->frame(), Rect(0, 100, 1440, 600));

    // Pushed below the menu bar: the visible frame ends at 875.
    w->setFrame(Rect(0, 500, 800, 600));
    EXPECT_EQ(w->frame(), Rect(0, 275, 800, 600));
}

TEST_F(Registry, TriggerPanelMayStayInTheMenuBarStrip)
{
    IslandTriggerPanel panel(Rect(600, 870, 240, 30));
    EXPECT_FALSE(panel.canBecomeKey());
    EXPECT_FALSE(panel.canBecomeMain());
    auto other = shown(Rect(600, 870, 240, 30));
    registry.registerWindow(&panel);
    registry.registerWindow(other.get());
    registry.clampAllToBuiltInScreen();
    EXPECT_EQ(panel.frame(), Rect(600, 870, 240, 30));
    EXPECT_EQ(other->frame(), Rect(600, 845, 240, 30));
}

TEST_F(Registry, WindowInsideItsBoundsGetsNoFrameChange)
{
    auto w = shown(Rect(10.5, 20, 300, 200));
    registry.registerWindow(w.get());
    int changes = 0;
    w->onDidMove = [&] { ++changes; };
    w->onDidResize = [&] { ++changes; };
    registry.clampAllToBuiltInScreen();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(w->frame(), Rect(10.5, 20, 300, 200));
}

TEST_F(Registry, RegisteringTwiceKeepsOneEntryAndOneWatch)
{
    auto w = shown(Rect(0, 0, 100, 100));
    const auto before = platform::NotificationCenter::defaultCenter().observerCount();
    registry.registerWindow(w.get());
    registry.registerWindow(w.get());
    EXPECT_EQ(registry.registeredWindows().size(), 1u);
    EXPECT_EQ(platform::NotificationCenter::defaultCenter().observerCount(), before + 2);
    EXPECT_EQ(w->sharingType(), SharingType::none);

    w->setSharingType(SharingType::readWrite);
    registry.registerWindow(w.get());
    EXPECT_EQ(w->sharingType(), SharingType::none) << "registering again re-applies the rule";
}

TEST_F(Registry, AppSharingMakesWindowsReadOnlyIncludingLaterOnes)
{
    auto a = shown(Rect(0, 0, 100, 100));
    registry.registerWindow(a.get());
    registry.setSharingEnabled(true);
    EXPECT_EQ(a->sharingType(), SharingType::readOnly);
    auto b = shown(Rect(0, 0, 100, 100));
    registry.registerWindow(b.get());
    EXPECT_EQ(b->sharingType(), SharingType::readOnly);
    registry.setSharingEnabled(false);
    EXPECT_EQ(a->sharingType(), SharingType::none);
    EXPECT_EQ(b->sharingType(), SharingType::none);
}

TEST_F(Registry, HideHideRestoreBringsBackWhatTheFirstHideFound)
{
    auto visible = shown(Rect(0, 0, 100, 100));
    auto hidden = std::make_unique<Window>(Rect(0, 0, 100, 100));
    auto later = std::make_unique<Window>(Rect(0, 0, 100, 100));
    for (Window* w : {visible.get(), hidden.get(), later.get()})
        registry.registerWindow(w);

    registry.hideAll();
    EXPECT_FALSE(visible->isVisible());
    later->orderFront();
    registry.hideAll();
    EXPECT_FALSE(later->isVisible());

    registry.restorePreviouslyVisible();
    EXPECT_TRUE(visible->isVisible());
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_FALSE(later->isVisible()) << "shown between the two hides, so not in the snapshot";
    EXPECT_FALSE(registry.hasRestorationSnapshot());
}

TEST_F(Registry, ExceptedWindowStaysHiddenAndIsNotRestoredLater)
{
    auto a = shown(Rect(0, 0, 100, 100));
    auto b = shown(Rect(0, 0, 100, 100));
    registry.registerWindow(a.get());
    registry.registerWindow(b.get());
    registry.hideAll();
    registry.restorePreviouslyVisible(b.get());
    EXPECT_TRUE(a->isVisible());
    EXPECT_FALSE(b->isVisible());
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(b->isVisible());
}

TEST_F(Registry, HidingWithoutPreservingLeavesTheSnapshotAlone)
{
    auto a = shown(Rect(0, 0, 100, 100));
    registry.registerWindow(a.get());
    registry.hideAll(nullptr, false);
    EXPECT_FALSE(registry.hasRestorationSnapshot());
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(a->isVisible());

    a->orderFront();
    registry.hideAll();
    registry.discardRestorationSnapshot();
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(a->isVisible());
}

TEST_F(Registry, AppOwnedHideReachesUnregisteredWindowsButRestoresOnlyRegistered)
{
    auto registered = shown(Rect(0, 0, 100, 100));
    auto stranger = shown(Rect(0, 0, 100, 100));
    auto output = shown(Rect(1440, 0, 1920, 1080));
    QWidget plain;
    plain.show();
    registry.registerWindow(registered.get());

    registry.hideAllAppOwnedWindows({output.get()});
    EXPECT_FALSE(registered->isVisible());
    EXPECT_FALSE(stranger->isVisible());
    EXPECT_FALSE(plain.isVisible());
    EXPECT_TRUE(output->isVisible());

    registry.restorePreviouslyVisible();
    EXPECT_TRUE(registered->isVisible());
    EXPECT_FALSE(stranger->isVisible());
}

TEST_F(Registry, DestroyedWindowsDropOutOfEverything)
{
    auto keep = shown(Rect(0, 0, 100, 100));
    auto gone = shown(Rect(0, 0, 100, 100));
    registry.registerWindow(keep.get());
    registry.registerWindow(gone.get());
    registry.hideAll();
    gone.reset();
    EXPECT_EQ(registry.registeredWindows().size(), 1u);
    registry.restorePreviouslyVisible();
    EXPECT_TRUE(keep->isVisible());
    registry.clampAllToBuiltInScreen();

    // A new window may take the old address; it must still get its own watch.
    auto fresh = shown(Rect(0, 0, 100, 100));
    registry.registerWindow(fresh.get());
    fresh->setFrame(Rect(-50, 0, 100, 100));
    EXPECT_EQ(fresh->frame(), Rect(0, 0, 100, 100));
}

TEST_F(Registry, WithoutABuiltInScreenWindowsAreOrderedOutAndNeverRestored)
{
    auto a = shown(Rect(0, 0, 100, 100));
    auto b = std::make_unique<Window>(Rect(0, 0, 100, 100));
    registry.registerWindow(a.get());
    registry.registerWindow(b.get());
    registry.hideAll();

    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(a->isVisible()) << "it could land on the audience display";

    EXPECT_TRUE(registry.visibleWindowsAreOnBuiltInScreen());
    a->orderFront();
    EXPECT_FALSE(registry.visibleWindowsAreOnBuiltInScreen());
    registry.clampAllToBuiltInScreen();
    EXPECT_FALSE(a->isVisible());
    EXPECT_TRUE(registry.visibleWindowsAreOnBuiltInScreen());
}

TEST_F(Registry, PlacementAndPointerQueriesSeeOnlyVisibleRegisteredWindows)
{
    auto a = shown(Rect(100, 100, 200, 100));
    auto stranger = shown(Rect(1500, 100, 200, 100));
    registry.registerWindow(a.get());
    EXPECT_TRUE(registry.containsVisiblePrivateWindow({100, 100}));
    EXPECT_FALSE(registry.containsVisiblePrivateWindow({300, 150})) << "the max edge lies outside";
    EXPECT_FALSE(registry.containsVisiblePrivateWindow({1600, 150}));
    EXPECT_TRUE(registry.visibleWindowsAreOnBuiltInScreen());

    // Registered windows are clamped on every move, so put one across the edge
    // the way a display change would: by shrinking the built-in screen.
    displays->setFrame(1, Rect(0, 0, 250, 900), Rect(0, 0, 250, 875));
    EXPECT_FALSE(registry.visibleWindowsAreOnBuiltInScreen());
    a->orderOut();
    EXPECT_FALSE(registry.containsVisiblePrivateWindow({150, 150}));
    EXPECT_TRUE(registry.visibleWindowsAreOnBuiltInScreen());
}
