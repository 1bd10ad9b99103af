#include "privacy/PrivateWindowRegistry.h"

#include "look/IslandTriggerPanel.h"
#include "platform/desktop/ScreenSpace.h"
#include "privacy/PrivateWindowGeometry.h"
#include "PrivacyFakes.h"
#include "support/QtPrinting.h"

#include <QApplication>
#include <QDialog>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia;
using platform::Rect;
using platform::SharingType;
using platform::Window;
using test::FakeDisplayService;

TEST(PrivateWindowGeometry, ClampShrinksThenMovesIntoTheBounds)
{
    const Rect visible(0, 0, 1440, 875);
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(-100, 100, 800, 600), visible), Rect(0, 100, 800, 600));
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(300, 100, 2000, 600), visible), Rect(0, 100, 1440, 600));
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(1000, 500, 800, 600), visible), Rect(640, 275, 800, 600));
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(10, 10, 3000, 2000), visible), visible);
    EXPECT_EQ(PrivateWindowGeometry::clampedFrame(Rect(0, 0, 100, 100), Rect(-1440, 200, 1440, 900)),
              Rect(-100, 200, 100, 100));
}

// A frame on its way from another: a move stops at the edge, a resize stops growing there.
TEST(PrivateWindowGeometry, ABoundedResizeStopsAtTheEdgeWhereAMoveIsPushedBack)
{
    const Rect visible(0, 0, 1440, 875), at(1000, 200, 300, 300);
    const struct {
        Rect frame, former, bounded;
    } rows[] = {
        {Rect(1200, 200, 300, 300), at, Rect(1140, 200, 300, 300)},   // moved past the right edge
        {Rect(1000, 200, 600, 300), at, Rect(1000, 200, 440, 300)},   // its right edge dragged past it
        {Rect(1000, 100, 300, 900), Rect(1000, 100, 300, 400), Rect(1000, 100, 300, 775)}, // its top
        {Rect(-200, 200, 1500, 300), Rect(100, 200, 1200, 300), Rect(0, 200, 1300, 300)}, // its left
        {Rect(1000, 200, 600, 800), at, Rect(1000, 200, 440, 675)},   // a corner, both ways
        {Rect(900, 100, 700, 300), at, Rect(740, 100, 700, 300)},     // both edges moved: moved back whole
        {Rect(1000, 200, 600, 300), Rect(1000, 200, 700, 300), Rect(1000, 200, 440, 300)}, // from outside, by its edge
        {Rect(1500, 200, 600, 300), Rect(1500, 200, 500, 300), Rect(840, 200, 600, 300)},  // all outside: pushed back
        {Rect(1000, 200, 300, 300), at, at},                           // inside: as it is
    };
    for (const auto& row : rows)
        EXPECT_EQ(PrivateWindowGeometry::boundedFrame(row.frame, row.former, visible), row.bounded) << row.frame.minX() << "," << row.frame.width();
}

namespace {
struct Registry : ::testing::Test, test::PrivacyFakes {
    PrivateWindowRegistry registry;

    Registry()
    {
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    }

    // A registered window, shown unless told otherwise.
    std::unique_ptr<Window> added(const Rect& frame = Rect(0, 0, 100, 100), bool visible = true)
    {
        auto w = std::make_unique<Window>(frame);
        if (visible)
            w->orderFront();
        registry.registerWindow(w.get());
        return w;
    }
};
} // namespace

TEST_F(Registry, MovingAWindowOffTheBuiltInScreenClampsItBack)
{
    auto w = added(Rect(100, 100, 800, 600));
    w->setFrame(Rect(-100, 100, 800, 600));
    EXPECT_EQ(w->frame(), Rect(0, 100, 800, 600));

    // Inside its bounds: no frame change at all.
    int changes = 0;
    w->onDidMove = [&] { ++changes; };
    w->onDidResize = [&] { ++changes; };
    registry.clampAllToBuiltInScreen();
    EXPECT_EQ(changes, 0);

    // The island's trigger panel may stay in the menu-bar strip; others are pushed below it.
    IslandTriggerPanel panel(Rect(600, 870, 240, 30));
    registry.registerWindow(&panel);
    w->setFrame(Rect(600, 870, 240, 30));
    registry.clampAllToBuiltInScreen();
    EXPECT_EQ(panel.frame(), Rect(600, 870, 240, 30));
    EXPECT_EQ(w->frame(), Rect(600, 845, 240, 30));

    // The projector placed above moves the space under it; it stays where it was, now on the projector.
    QApplication::processEvents();
    displays->origin = platform::Point{0, 1800};
    registry.clampAllToBuiltInScreen();
    EXPECT_EQ(w->frameGeometry().top(), 1800 - 875) << "left on the projector";
    // Moved again while hidden, it comes back on the laptop, not where its frame last said.
    registry.hideAll();
    displays->origin = platform::Point{0, 900};
    registry.restorePreviouslyVisible();
    EXPECT_EQ(w->frameGeometry().top(), 900 - 30) << "shown again on the projector";
}

// A frame asked of a registered window is bounded before the server hears of it, and its place
// too, but for a panel's strip: a place under a panel is kept for when the panel goes.
TEST_F(Registry, AFrameAskedIsBoundedFirstAndSoIsThePlace)
{
    auto w = added(Rect(100, 100, 800, 600));
    std::vector<QRect> asked;
    w->onDidMove = [&] { asked.push_back(w->geometry()); };
    w->setFrame(Rect(1000, 100, 800, 600));
    EXPECT_EQ(w->frame(), Rect(640, 100, 800, 600));
    EXPECT_EQ(w->placeFrame(), Rect(640, 100, 800, 600));
    EXPECT_EQ(asked, std::vector<QRect>{platform::toQtGlobal(Rect(640, 100, 800, 600))}) << "asked off the screen first";
    // Moved by hand by its edge: it stops growing there rather than moving.
    w->setFrame(Rect(640, 100, 1000, 600), w->frame());
    EXPECT_EQ(w->frame(), Rect(640, 100, 800, 600));
    // Under the menu-bar strip it stands below it, but keeps its place there.
    w->setFrame(Rect(100, 400, 800, 600));
    EXPECT_EQ(w->frame(), Rect(100, 275, 800, 600));
    EXPECT_EQ(w->placeFrame(), Rect(100, 300, 800, 600));
    // Without the built-in screen nothing is asked; the place is kept for its return.
    displays->setScreens({FakeDisplayService::external(7)});
    asked.clear();
    w->setFrame(Rect(2000, 100, 800, 600));
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(w->frame(), Rect(100, 275, 800, 600));
}

TEST_F(Registry, RegisteringTwiceKeepsOneEntryAndReappliesTheSharingRule)
{
    const auto before = platform::NotificationCenter::defaultCenter().observerCount();
    auto a = added();
    a->setSharingType(SharingType::readWrite);
    registry.registerWindow(a.get());
    EXPECT_EQ(registry.registeredWindows().size(), 1u);
    EXPECT_EQ(platform::NotificationCenter::defaultCenter().observerCount(), before + 2);
    EXPECT_EQ(a->sharingType(), SharingType::none);

    // App sharing: read-only for every window, later ones too, until it ends.
    registry.setSharingEnabled(true);
    EXPECT_EQ(a->sharingType(), SharingType::readOnly);
    auto b = added();
    EXPECT_EQ(b->sharingType(), SharingType::readOnly);
    registry.setSharingEnabled(false);
    EXPECT_EQ(a->sharingType(), SharingType::none);
    EXPECT_EQ(b->sharingType(), SharingType::none);
}

TEST_F(Registry, RestoreBringsBackOnlyWhatTheFirstPreservingHideFound)
{
    auto visible = added();
    auto hidden = added(Rect(0, 0, 100, 100), false);
    auto later = added(Rect(0, 0, 100, 100), false);
    auto excepted = added();

    registry.hideAll();
    later->orderFront();
    registry.hideAll(); // a second hide adds nothing to the snapshot
    EXPECT_FALSE(later->isVisible());

    registry.restorePreviouslyVisible(excepted.get());
    EXPECT_TRUE(visible->isVisible());
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_FALSE(later->isVisible());
    EXPECT_FALSE(excepted->isVisible());
    registry.restorePreviouslyVisible(); // the snapshot is gone
    EXPECT_FALSE(excepted->isVisible());

    // Hiding without preserving restores nothing.
    registry.hideAll(nullptr, false);
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(visible->isVisible());
}

TEST_F(Registry, AppOwnedHideReachesUnregisteredWindowsButRestoresOnlyRegistered)
{
    auto registered = added();
    auto stranger = std::make_unique<Window>(Rect(0, 0, 100, 100));
    stranger->orderFront();
    auto output = std::make_unique<Window>(Rect(1440, 0, 1920, 1080));
    output->orderFront();
    QWidget plain;
    plain.show();

    registry.hideAllAppOwnedWindows({output.get()});
    EXPECT_FALSE(registered->isVisible());
    EXPECT_FALSE(stranger->isVisible());
    EXPECT_FALSE(plain.isVisible());
    EXPECT_TRUE(output->isVisible());

    registry.restorePreviouslyVisible();
    EXPECT_TRUE(registered->isVisible());
    EXPECT_FALSE(stranger->isVisible());

    // An alert the hide holds goes to the middle of the speaker's screen where it now stands.
    QDialog alert;
    alert.setGeometry(10, 10, 300, 120);
    alert.show();
    registry.hideAllAppOwnedWindows();
    displays->setFrame(1, Rect(1440, -900, 1440, 900), Rect(1440, -900, 1440, 875));
    registry.centreDialogsOnBuiltInScreen();
    registry.restorePreviouslyVisible();
    const QPoint middle = platform::toQtGlobal(Rect(1440, -900, 1440, 875)).center();
    EXPECT_LE((alert.frameGeometry().center() - middle).manhattanLength(), 1) << alert.frameGeometry().x() << ',' << alert.frameGeometry().y();
}

TEST_F(Registry, DestroyedWindowsDropOutOfEverything)
{
    auto keep = added();
    auto gone = added();
    registry.hideAll();
    gone.reset();
    EXPECT_EQ(registry.registeredWindows().size(), 1u);
    registry.restorePreviouslyVisible();
    EXPECT_TRUE(keep->isVisible());

    // A new window may take the old address; it must still get its own watch.
    auto fresh = added();
    fresh->setFrame(Rect(-50, 0, 100, 100));
    EXPECT_EQ(fresh->frame(), Rect(0, 0, 100, 100));
}

TEST_F(Registry, WithoutABuiltInScreenWindowsAreOrderedOutAndComeBackOnlyWithIt)
{
    auto a = added();
    auto b = added();
    registry.hideAll();
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(a->isVisible()) << "it could land on the audience display";

    EXPECT_TRUE(registry.visibleWindowsAreOnBuiltInScreen());
    a->orderFront();
    EXPECT_FALSE(registry.visibleWindowsAreOnBuiltInScreen());
    registry.clampAllToBuiltInScreen();
    EXPECT_FALSE(a->isVisible());
    // The screen back before any hide took it over, the next clamp brings it back.
    displays->setScreens({FakeDisplayService::builtIn(1)});
    registry.clampAllToBuiltInScreen();
    EXPECT_TRUE(a->isVisible());
    EXPECT_FALSE(b->isVisible()) << "what the hide took came back without it";
    registry.restorePreviouslyVisible();
    EXPECT_TRUE(b->isVisible());
    // A hide after such a clamp holds the windows itself.
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    registry.clampAllToBuiltInScreen();
    registry.hideAll();
    displays->setScreens({FakeDisplayService::builtIn(1)});
    registry.clampAllToBuiltInScreen();
    EXPECT_FALSE(a->isVisible()) << "the hide's window came back with the screen";
    // Taken by a clamp alone, they come back with the screen and nothing stays held.
    registry.restorePreviouslyVisible();
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    registry.clampAllToBuiltInScreen();
    displays->setScreens({FakeDisplayService::builtIn(1)});
    registry.clampAllToBuiltInScreen();
    EXPECT_TRUE(a->isVisible() && b->isVisible() && !registry.hasRestorationSnapshot()) << "the clamp's hold outlived the screen";
}

TEST_F(Registry, PlacementAndPointerQueriesSeeOnlyVisibleRegisteredWindows)
{
    auto a = added(Rect(100, 100, 200, 100));
    auto stranger = std::make_unique<Window>(Rect(1500, 100, 200, 100));
    stranger->orderFront();
    EXPECT_TRUE(registry.containsVisiblePrivateWindow({100, 100}));
    EXPECT_FALSE(registry.containsVisiblePrivateWindow({300, 150})) << "the max edge lies outside";
    EXPECT_FALSE(registry.containsVisiblePrivateWindow({1600, 150}));
    EXPECT_TRUE(registry.visibleWindowsAreOnBuiltInScreen());

    // A display change can leave a window across the edge.
    displays->setFrame(1, Rect(0, 0, 250, 900), Rect(0, 0, 250, 875));
    EXPECT_FALSE(registry.visibleWindowsAreOnBuiltInScreen());
}
