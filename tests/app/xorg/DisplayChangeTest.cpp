#include "support/ApplicationControls.h"
#include "support/ConfigureWatch.h"
#include "support/EventWait.h"
#include "support/RunningApplication.h"
#include "support/StatusArea.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace quorvia::test;

namespace {

const QColor desktop(0, 64, 64);
const QRect laptop = TwoOutputXServer::laptopArea(), projector = TwoOutputXServer::projectorArea();

// The screens change under a talk: the laptop screen off and on, the projector moved.
class DisplayChangeTest : public WindowManagedTwoOutputTest {
protected:
    void SetUp() override
    {
        WindowManagedTwoOutputTest::SetUp();
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->tool(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), desktop.name()}) && app->launch());
        ASSERT_TRUE((island = app->settledIsland()) && app->waitUntilOffersPrivacyOutput(*island));
    }
    void TearDown() override { app.reset(), WindowManagedTwoOutputTest::TearDown(); }
    QColor pixel(QPoint at) const { return app->grab(QRect(at, QSize(1, 1))).pixel(0, 0); }
    // Live once the projector shows the laptop's desktop beside the island.
    bool goLive()
    {
        app->click(*island, controls::island::privacyButton, 200);
        return waitUntil([&] { return pixel(projector.bottomLeft() + QPoint(100, -100)) == desktop; });
    }
    bool xrandr(const QString& arguments) { return TwoOutputXServer::xrandr(display, arguments.split(u' ')); }
    bool anyOfOurs(const std::function<bool(const QRect&)>& test) const { return std::ranges::any_of(app->windows(), [&](const auto& w) { return test(w.frame); }); }
    // Each wholly on `home` (the manager's frame too) or covering `audience`; the island at its place unless live.
    bool allOfOursOn(const QRect& home, const QRect& audience = {}) const
    {
        const auto shown = app->windows();
        return std::ranges::all_of(shown, [&](const auto& w) { return home.contains(w.outer) || w.frame == audience; })
            && (audience.isValid() || islandAtItsPlace(home));
    }
    QRect outerOf(const RunningApplication::Window& window) const
    {
        const auto shown = app->windows();
        const auto it = std::ranges::find(shown, window);
        return it == shown.end() ? QRect() : it->outer;
    }
    bool islandAtItsPlace(const QRect& home) const
    {
        const auto shown = app->windows();
        const auto it = std::ranges::find(shown, *island);
        return it != shown.end() && it->frame.center().x() == home.center().x() && it->frame.top() == home.top() + 8;
    }
    // Where each window of ours stands, for a failure's message.
    std::string ours() const
    {
        QString said;
        for (const auto& w : app->windows())
            said += QStringLiteral(" %1@%2,%3 %4x%5").arg(w == *island ? "island" : w.name).arg(w.outer.x()).arg(w.outer.y()).arg(w.outer.width()).arg(w.outer.height());
        return said.toStdString();
    }
    bool maskDrawnOn(const QRect& home) const { const QColor c = pixel(home.topLeft() + controls::overlay::retry); return c.blue() > 200 && c.blue() - c.red() > 80; }
    // The laptop screen and the projector with their top-left corners at these points.
    bool arrange(QPoint laptopAt, QPoint projectorAt)
    {
        const QRect all = QRect(laptopAt, laptop.size()).united(QRect(projectorAt, laptop.size()));
        return xrandr(QStringLiteral("--fb %1x%2 --output DUMMY0 --mode 1920x1080 --pos %3x%4 --primary --output DUMMY1 --mode 1920x1080 --pos %5x%6")
                          .arg(all.width()).arg(all.height()).arg(laptopAt.x()).arg(laptopAt.y()).arg(projectorAt.x()).arg(projectorAt.y()));
    }
    static inline const QPoint corner{0, 0}, beside{1920, 0}, under{0, 1080};
    // Above, left, above after left, below, right again.
    static inline const std::vector<std::pair<QPoint, QPoint>> arrangements{{under, corner}, {beside, corner}, {under, corner}, {corner, under}, {corner, beside}};

    std::unique_ptr<RunningApplication> app;
    std::optional<RunningApplication::Window> island;
};

TEST_P(DisplayChangeTest, ALiveOutputThroughTheLaptopScreenGoneAndBackLeavesTheMaskHomeAndTheCardOnTheProjector)
{
    ASSERT_TRUE(goLive() && xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0")));
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100)) {
        const auto shown = app->windows();
        ASSERT_TRUE(shown.size() == 1 && shown.front().frame == laptop) << "the audience's card did not follow the projector to the origin";
    }
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil([&] { return maskDrawnOn(laptop) && anyOfOurs([](const QRect& f) { return f == projector; }); }, 5000));
}

// The mask a mirror raised goes with the laptop screen; nothing else of ours shows meanwhile.
TEST_P(DisplayChangeTest, WithTheOutputOffNothingOfOursShowsWhileTheLaptopScreenIsGone)
{
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY1 --same-as DUMMY0")) && waitUntil([&] { return maskDrawnOn(laptop); }, 5000));
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0")));
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_TRUE(app->windows().empty()) << "the mask stood on the projector: it does not follow the speaker's screen";
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil([&] { return maskDrawnOn(laptop); }, 5000));
}

// After each change every window of ours comes to lie wholly on the
// laptop screen, the island at its place; none while the projector is primary.
TEST_P(DisplayChangeTest, WithTheOutputOffOurWindowsFollowTheLaptopScreenThroughEveryArrangement)
{
    // Unplugged from above, the laptop screen alone moves up to the corner.
    ASSERT_TRUE(arrange(under, corner) && xrandr(QStringLiteral("--output DUMMY1 --off")));
    EXPECT_TRUE(waitUntil([&] { return allOfOursOn(laptop); }, 5000)) << "unplugged:" << ours();
    // Plugged in right, then made primary at once.
    ASSERT_TRUE(arrange(corner, beside) && xrandr(QStringLiteral("--output DUMMY1 --primary")));
    runEventsFor(500);
    EXPECT_FALSE(anyOfOurs([](const QRect& f) { return f.intersects(projector); })) << "the projector stood in for the speaker's screen:" << ours();
    EXPECT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --primary")) && waitUntil([&] { return allOfOursOn(laptop); }, 5000)) << "the primary back:" << ours();
    // The settings and the alert that names a new project stand through the rest.
    const auto settings = app->pressIslandSetting(*island, controls::settings::createProject);
    const auto alert = settings ? app->waitNewWindow({*island, *settings}) : std::nullopt;
    ASSERT_TRUE(alert) << "新建 asked no name";
    // Still showing, in the middle of the laptop screen.
    const auto alertCentred = [&](const QRect& home) {
        const auto shown = app->windows();
        const auto it = std::ranges::find(shown, *alert);
        return it != shown.end() && (it->outer.center() - home.center()).manhattanLength() <= 2;
    };
    for (const auto& [laptopAt, projectorAt] : arrangements) {
        const QRect home(laptopAt, laptop.size());
        EXPECT_TRUE(arrange(laptopAt, projectorAt) && waitUntil([&] { return allOfOursOn(home) && alertCentred(home); }, 5000)) << laptopAt.x() << ',' << laptopAt.y() << ':' << ours();
    }
}

// Live, each change stops the output: the mask is drawn on the laptop screen
// where it now stands, and the projector shows nothing of ours but its page.
TEST_P(DisplayChangeTest, WhileLiveTheMaskFollowsTheLaptopScreenThroughEveryArrangement)
{
    ASSERT_TRUE(goLive());
    for (const auto& [laptopAt, projectorAt] : arrangements) {
        const QRect home(laptopAt, laptop.size());
        EXPECT_TRUE(arrange(laptopAt, projectorAt) && waitUntil([&] { return maskDrawnOn(home) && allOfOursOn(home, QRect(projectorAt, laptop.size())); }, 5000)) << laptopAt.x() << ',' << laptopAt.y() << ':' << ours();
    }
}

// Each road to a mask shown during the emergency key's hide, then the projector above, on the left, below and
// the lid closed: the mask stands wholly on the laptop screen wherever it went, or is not shown without one, and
// nothing of ours stands on the projector but the audience's card while the output was live.
TEST_P(DisplayChangeTest, AMaskShownDuringTheEmergencyKeysHideFollowsTheLaptopScreen)
{
    const auto mirror = [&] { return xrandr(QStringLiteral("--output DUMMY1 --same-as DUMMY0")) && waitUntil([&] { return maskDrawnOn(laptop); }, 5000); };
    const auto keyHides = [&] { return app->pressEmergencyKey(), waitUntil([&] { return !maskDrawnOn(laptop) && !app->shows(*island); }, 5000); };
    struct Road { const char* name; std::function<bool()> take; bool live = false; };
    const std::vector<Road> roads{
        {"the key twice under a mirror", [&] { return mirror() && keyHides() && (app->pressEmergencyKey(), waitUntil([&] { return maskDrawnOn(laptop); }, 5000)); }},
        {"the key once, then a mirror", [&] { return keyHides() && mirror(); }},
        {"临时退出遮罩, then the key", [&] {
             return mirror() && (app->clickAt(laptop.topLeft() + controls::overlay::temporaryExit), waitUntil([&] { return !maskDrawnOn(laptop); }, 5000))
                 && (app->pressEmergencyKey(), waitUntil([&] { return maskDrawnOn(laptop); }, 12000));
         }},
        {"live, the key once", [&] { return goLive() && (app->pressEmergencyKey(), waitUntil([&] { return !app->shows(*island); }, 5000)); }, true},
        {"live, the key again as the lid closes while busy, the lid opening, closing and opening", [&] {
             if (!goLive() || (app->pressEmergencyKey(), !waitUntil([&] { return !app->shows(*island); }, 5000)))
                 return false;
             ::kill(pid_t(app->pid()), SIGSTOP);
             app->pressEmergencyKey();
             const bool closed = xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0"));
             ::kill(pid_t(app->pid()), SIGCONT);
             // Shut until the program has woken to it, as the audience's window following the projector to the
             // corner tells: a lid opened again first was never shut for it, and the press then finds safe displays.
             if (!closed || !waitUntil([&] { return anyOfOurs([](const QRect& f) { return f == laptop; }); }, 5000))
                 return false;
             // The mask comes with the laptop screen each time, not only with the output's late stop.
             const auto opens = [&] { return TwoOutputXServer::restoreLayout(display) && waitUntil([&] { return maskDrawnOn(laptop); }, 5000); };
             // The projector may move to the corner as the lid closes.
             const auto maskGone = [&] { return std::ranges::none_of(app->windows(), [&](const auto& w) { return maskDrawnOn(w.frame); }); };
             return opens() && xrandr(QStringLiteral("--output DUMMY0 --off")) && waitUntil(maskGone, 5000) && opens();
         }, true}};
    for (const Road& road : roads) {
        if (&road != &roads.front()) {
            app.reset();
            ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
            app = std::make_unique<RunningApplication>(display);
            ASSERT_TRUE(app->launch() && (island = app->settledIsland()) && app->waitUntilOffersPrivacyOutput(*island));
        }
        ASSERT_TRUE(road.take()) << road.name;
        QRect audience = projector;
        // Without a laptop screen no window of ours draws the mask, wherever it stands.
        const auto standsRight = [&](const std::optional<QRect>& home) {
            return std::ranges::all_of(app->windows(), [&](const auto& w) {
                return home ? home->contains(w.outer) || (road.live && w.frame == audience)
                            : (!w.outer.intersects(audience) || (road.live && w.frame == audience)) && !maskDrawnOn(w.frame);
            }) && !maskDrawnOn(audience) && (!home || maskDrawnOn(*home));
        };
        for (const auto& [laptopAt, projectorAt] : {arrangements[0], arrangements[1], arrangements[3]}) {
            audience = QRect(projectorAt, laptop.size());
            EXPECT_TRUE(arrange(laptopAt, projectorAt) && waitUntil([&] { return standsRight(QRect(laptopAt, laptop.size())); }, 5000))
                << road.name << ", the laptop at " << laptopAt.x() << ',' << laptopAt.y() << ':' << ours();
        }
        EXPECT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --off")) && waitUntil([&] { return standsRight(std::nullopt); }, 5000)) << road.name << ", the lid closed:" << ours();
    }
}

// A change under the mask places the windows once it goes, by either of its buttons.
TEST_P(DisplayChangeTest, AChangeUnderTheMaskPlacesTheIslandOnceRetryOrStopTakesTheMaskAway)
{
    const QRect below(under, laptop.size()), above(corner, laptop.size());
    ASSERT_TRUE(goLive() && arrange(under, corner) && waitUntil([&] { return maskDrawnOn(below); }, 5000));
    app->clickAt(below.topLeft() + controls::overlay::retry);
    EXPECT_TRUE(waitUntil([&] { return islandAtItsPlace(below) && allOfOursOn(below, above); }, 5000)) << "retried:" << ours();
    ASSERT_TRUE(arrange(corner, beside) && waitUntil([&] { return maskDrawnOn(laptop); }, 5000));
    app->clickAt(laptop.topLeft() + controls::overlay::stopAndReturn);
    EXPECT_TRUE(waitUntil([&] { return allOfOursOn(laptop); }, 5000)) << "returned:" << ours();
}

// Right after the projector comes is when the speaker arranges the windows:
// the island by its top row, 稿件管理 by the window manager's title bar.
TEST_P(DisplayChangeTest, WindowsDraggedASecondAfterAChangeStayWhereTheDragLeftThem)
{
    std::optional<RunningApplication::Window> management;
    if (GetParam() == Manager::openbox) {
        ASSERT_TRUE(app->pressIslandSetting(*island, controls::settings::scriptManagement) && (management = app->waitWindow(QStringLiteral("稿件管理"))));
        app->key(QStringLiteral("Escape"));
    }
    ASSERT_TRUE(arrange(corner, under) && waitUntil([&] { return allOfOursOn(laptop); }, 5000)) << ours();
    runEventsFor(1000);
    const QPoint from = outerOf(*island).topLeft(), grip(150, 28), by(-400, 300);
    app->drag(from + grip, from + grip + by);
    const QPoint managementFrom = management ? outerOf(*management).topLeft() : QPoint();
    if (management)
        app->drag(managementFrom + QPoint(250, 8), managementFrom + QPoint(250, 8) - by);
    runEventsFor(3000);
    EXPECT_TRUE(outerOf(*island).topLeft() == from + by && (!management || outerOf(*management).topLeft() == managementFrom - by)) << ours();
    // Back and forth with the program busy over each drag's last 200 ms: it ends where it is let go, not half way.
    for (const QPoint to : {from, from + by, from}) {
        const QPoint at = outerOf(*island).topLeft(), half = (at + to) / 2;
        app->press(at + grip), app->moveHeld(at + grip, half + grip, 5);
        ASSERT_TRUE(waitUntil([&] { return outerOf(*island).topLeft() == half; }, 5000)) << ours();
        ::kill(pid_t(app->pid()), SIGSTOP);
        app->moveHeld(half + grip, to + grip, 5, 40), app->release();
        ::kill(pid_t(app->pid()), SIGCONT);
        EXPECT_TRUE(waitUntil([&] { return outerOf(*island).topLeft() == to; }, 5000) && (runEventsFor(500), outerOf(*island).topLeft() == to)) << ours();
    }
}

// The island's right edge held by its handle while the projector moves from above to the right and the left, then with the
// program busy over each drag's last 200 ms: it ends at the size let go, its left edge where it stood on the laptop screen.
TEST_P(DisplayChangeTest, TheIslandResizedThroughAChangeOrABusyMomentEndsAtTheSizeLetGo)
{
    QRect home(under, laptop.size());
    ASSERT_TRUE(arrange(under, corner) && waitUntil([&] { return islandAtItsPlace(home); }, 5000)) << ours();
    for (const auto& [busy, letGo] : {std::pair(false, 1500), {true, 1200}, {true, 1600}, {true, 1300}}) {
        const QRect was = outerOf(*island).translated(-home.topLeft());
        const QPoint edge = home.topLeft() + QPoint(was.right() - 4, was.top() + 300), part = edge + QPoint(100, 0);
        app->press(edge), app->moveHeld(edge, part, 5);
        ASSERT_TRUE(waitUntil([&] { return outerOf(*island).width() == was.width() + 100; }, 5000)) << busy << ours();
        const QPoint from = edge - home.topLeft();
        if (busy) {
            ::kill(pid_t(app->pid()), SIGSTOP);
        } else {
            // The projector above, then right, then left, as a cable that blinks.
            ASSERT_TRUE(arrange(corner, beside) && (runEventsFor(200), arrange(beside, corner)));
            home.moveTopLeft(beside);
            // The hand at rest, the screens moved under it: the island stands on the laptop screen at once,
            // its left edge where it stood, not where a clamp left it.
            const auto stands = [&] { const QRect now = outerOf(*island); return home.contains(now) && now.left() == home.left() + was.left(); };
            EXPECT_TRUE(waitUntil(stands, 5000) && (runEventsFor(300), stands())) << ours();
        }
        const QPoint down = home.topLeft() + QPoint(letGo, 400);
        app->moveHeld(part, down, 5, 40), app->release();
        if (busy)
            ::kill(pid_t(app->pid()), SIGCONT);
        const QRect expected(home.topLeft() + was.topLeft(), QSize(was.width() + (down - home.topLeft() - from).x(), was.height()));
        EXPECT_TRUE(waitUntil([&] { return outerOf(*island) == expected; }, 5000) && (runEventsFor(500), outerOf(*island) == expected))
            << busy << " expected " << expected.x() << ',' << expected.y() << ' ' << expected.width() << ours();
    }
}

// The lid closed and opened with the projector above, which openbox pushes the island into: it stands
// where it was left, by our grip, an Alt drag inside it or openbox's keys, or at its place after the emergency key's hide.
TEST_P(DisplayChangeTest, AWindowMovedBeforeTheLidClosesComesBackWhereItWasLeft)
{
    for (const QString way : {"grip", "alt", "alt+space", "ctrl+alt+super+h"}) {
        ASSERT_TRUE(arrange(corner, beside) && waitUntil([&] { return islandAtItsPlace(laptop); }, 5000)) << ours();
        ASSERT_TRUE(arrange(under, corner) && waitUntil([&] { return islandAtItsPlace(QRect(under, laptop.size())); }, 5000)) << ours();
        if (way != "grip" && (GetParam() == Manager::none || !app->focus(*island)))
            break;
        // A change's last notices may come late on a loaded machine, and their placing is the program's, as
        // in the test above: the speaker moves the island a second later.
        runEventsFor(1000);
        const QPoint from = outerOf(*island).topLeft() + QPoint(150, 28);
        const int menus = app->shownTopLevelsOfOthers();
        if (way == "grip" || way == "alt")
            way == "grip" ? app->drag(from, from + QPoint(-400, 300)) : app->drag(from + QPoint(170, 370), from + QPoint(70, 520), 10, 30, way);
        else
            app->key(way, 0);
        // Openbox's window menu stands before its keys count; the emergency key hides first.
        ASSERT_TRUE(waitUntil([&] { return way.size() <= 4 || (way == "alt+space" ? app->shownTopLevelsOfOthers() > menus : !app->shows(*island)); }));
        if (way.size() > 4)
            app->key(way == "alt+space" ? QStringLiteral("m") + QStringLiteral(" Down").repeated(20) + QStringLiteral(" Return") : way);
        ASSERT_TRUE(waitUntil([&] { return app->shows(*island) && (way.startsWith("ctrl") || outerOf(*island).top() > from.y() + 100); }, 5000)) << way.toStdString() << ours();
        const QPoint left = outerOf(*island).topLeft();
        ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --off")) && waitUntil([&] { return !app->shows(*island); }, 5000) && arrange(under, corner));
        EXPECT_TRUE(waitUntil([&] { return outerOf(*island).topLeft() == left; }, 5000) && (runEventsFor(500), outerOf(*island).topLeft() == left)) << way.toStdString() << ours();
    }
}

// After the island's own moves (collapsed, hovered, expanded), a move nobody asked for (a button held on the
// desktop, then wholly on the laptop screen, partly past its right and bottom edges, onto the projector and back
// at once) is undone, and a panel that comes later at the top takes the island under it, also one that comes
// while a hold keeps it hidden.
TEST_P(DisplayChangeTest, AMoveNobodyAskedForAfterTheIslandsOwnIsUndone)
{
    const auto expandedAtItsPlace = [&] { return islandAtItsPlace(laptop) && outerOf(*island).height() > 600; };
    ASSERT_TRUE(arrange(corner, under) && waitUntil([&] { return allOfOursOn(laptop); }, 5000)) << ours();
    // Pressed again until it takes: at its place is where the island stands, not yet that it takes a click, on a loaded machine.
    const auto pressUntil = [&](const std::function<void()>& press, const std::function<bool()>& done) { return waitUntil([&] { return press(), waitUntil(done, 2000); }); };
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(waitUntil(expandedAtItsPlace, 5000)) << ours();
        const QPoint collapse = outerOf(*island).topLeft() + QPoint(320, 660 - 38); // 收起到顶部
        ASSERT_TRUE(pressUntil([&] { app->clickAt(collapse, 0); }, [&] { return !app->shows(*island); })) << ours();
        ASSERT_TRUE(pressUntil([&] { app->movePointer({960, 9}), app->clickAt({960, 3}, 0); }, [&] { return app->shows(*island); })) << ours();
    }
    ASSERT_TRUE(waitUntil(expandedAtItsPlace, 5000)) << ours();
    ASSERT_TRUE(app->tool(QStringLiteral("xdotool"), QStringLiteral("mousemove 900 1500 mousedown 1").split(u' ')));
    for (const QPoint to : {QPoint(100, 300), QPoint(1500, 300), QPoint(100, 700)}) {
        app->moveWindow(*island, to);
        EXPECT_TRUE(waitUntil([&] { return outerOf(*island).topLeft() != to && islandAtItsPlace(laptop); }, 5000) && (runEventsFor(500), islandAtItsPlace(laptop))) << to.x() << ',' << to.y() << ours();
    }
    // Onto the projector and back at once: the word of the first move, read once the window has left it, is
    // not answered with a frame at the laptop's edge.
    if (GetParam() == Manager::none) {
        ConfigureWatch watch(display, app->pid());
        watch.start();
        app->moveWindowAtOnce(*island, {QPoint(100, 1500), QPoint(100, 300)});
        EXPECT_TRUE(waitUntil([&] { return islandAtItsPlace(laptop); }, 5000) && (runEventsFor(500), islandAtItsPlace(laptop))) << ours();
        watch.stop();
        const auto places = watch.placesOf(island->id);
        EXPECT_TRUE(std::ranges::none_of(places, [](const QRect& r) { return r.bottom() == laptop.bottom(); })) << places.size() << " places, the last at " << places.back().y();
    }
    // The panel comes as the island stands, then again while the emergency key's hide holds.
    for (const bool held : {false, true}) {
        if (GetParam() == Manager::none)
            break;
        ASSERT_TRUE(waitUntil(expandedAtItsPlace, 5000)) << "the island is not back at its place before the panel comes:" << held << ours();
        if (held) {
            app->pressEmergencyKey();
            ASSERT_TRUE(waitUntil([&] { return !app->shows(*island); }));
        }
        StatusArea panel(display, true);
        ASSERT_TRUE(panel.start()) << panel.failure().toStdString();
        if (held)
            runEventsFor(500), app->pressEmergencyKey();
        EXPECT_TRUE(waitUntil([&] { return outerOf(*island).top() == 30 + 8; }, 5000) && (runEventsFor(500), outerOf(*island).top() == 30 + 8)) << held << ours();
    }
}

// Every road that carries a window to and fro past the laptop's edge facing the projector, in each
// arrangement: by our own means the server never hears of a frame there; by the window manager's, each
// step there is answered at once: a few milliseconds, within 100 ms with every core busy, the window
// manager's own turn included. The speaker's bubble, script management and island are dragged
// as a speaker would, the watch seeing every configure on the root.
TEST_P(DisplayChangeTest, NoRoadPastTheLaptopsEdgeStandsAWindowOnTheProjector)
{
    const bool managed = GetParam() == Manager::openbox;
    std::optional<RunningApplication::Window> management, bubble;
    if (managed) {
        ASSERT_TRUE(app->pressIslandSetting(*island, controls::settings::scriptManagement) && (management = app->waitWindow(QStringLiteral("稿件管理"))));
        app->key(QStringLiteral("Escape"));
    }
    ConfigureWatch watch(display, app->pid());
    // Where the projector stands, toward it, and the laptop's and projector's corners.
    const struct {
        const char* name;
        QPoint toward, laptopAt, projectorAt;
    } sides[] = {{"right", {1, 0}, corner, beside}, {"left", {-1, 0}, beside, corner}, {"above", {0, -1}, under, corner}, {"below", {0, 1}, corner, under}};
    const QStringList roads{"grip", "handle", "bubble", "title", "alt", "keys", "border"};
    for (const auto& side : sides) {
        const QRect home(side.laptopAt, laptop.size()), audience(side.projectorAt, laptop.size());
        // The roads start wherever the placing left each window on the laptop screen.
        ASSERT_TRUE(arrange(side.laptopAt, side.projectorAt) && waitUntil([&] {
            return app->shows(*island) && std::ranges::all_of(app->windows(), [&](const auto& w) { return home.contains(w.outer); });
        }, 5000)) << side.name << ours();
        // A change takes the prompter back into the island.
        bubble.reset();
        runEventsFor(1000);
        // Script management, placed in the middle, is taken out from under the island by the keys.
        if (managed) {
            const int menus = app->shownTopLevelsOfOthers();
            ASSERT_TRUE(app->focus(*management, 5000) && (app->key(QStringLiteral("alt+space"), 0), waitUntil([&] { return app->shownTopLevelsOfOthers() > menus; }, 5000)));
            app->key(QStringLiteral("m"), 0), runEventsFor(300);
            app->key(QStringLiteral(" Down").repeated(45) + QStringLiteral(" Return"));
            EXPECT_TRUE(waitUntil([&] { return outerOf(*management).top() > outerOf(*island).bottom(); }, 5000)
                        || islandAtItsPlace(home) == false)
                << side.name << ours();
        }
        // Script management's roads need its title bar and border clear of the island.
        const bool managementClear = managed && !outerOf(*management).intersects(outerOf(*island));
        for (const QString& road : roads) {
            const bool ours = road == "grip" || road == "handle" || road == "bubble";
            if (!ours && !managed)
                continue;
            if ((road == "title" || road == "keys" || road == "border") && !managementClear)
                continue;
            if (road == "bubble" && !bubble) {
                const auto shown = app->windows();
                app->click(*std::ranges::find(shown, *island), controls::island::detach, 800);
                const auto prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
                ASSERT_TRUE(prompter) << "分离窗口 opened no prompter window";
                const auto before = app->windows();
                app->click(*prompter, controls::prompter::collapse, 800);
                ASSERT_TRUE((bubble = app->waitNewWindow(before)) && waitUntil([&] { return app->windows(QStringLiteral("^私密提词窗口")).empty(); }))
                    << "缩成圆点 showed no bubble";
            }
            const auto carried = road == "bubble" ? bubble : road == "title" || road == "keys" || road == "border" ? management : island;
            const QRect was = outerOf(*carried);
            ASSERT_TRUE(was.isValid()) << road.toStdString() << ::testing::PrintToString(side.name) << this->ours();
            // Held by the edge facing the projector for the handle and the border, else well inside.
            const QPoint edge = side.toward.x() > 0 ? QPoint(was.right() - (road == "border" ? 0 : 4), was.center().y())
                : side.toward.x() < 0 ? QPoint(was.left() + (road == "border" ? 0 : 4), was.center().y())
                : side.toward.y() < 0 ? QPoint(was.center().x() + 40, was.top() + (road == "border" ? 0 : 4))
                                      : QPoint(was.center().x() + 40, was.bottom() - (road == "border" ? 2 : 4));
            const QPoint from = road == "handle" || road == "border" ? edge : road == "title" ? was.topLeft() + QPoint(250, 8)
                : road == "grip" ? was.topLeft() + QPoint(150, 28) : road == "alt" ? was.topLeft() + QPoint(170, 370) : was.center();
            const QPoint past = from + side.toward * 1400;
            watch.start();
            if (road == "keys") {
                const int menus = app->shownTopLevelsOfOthers();
                ASSERT_TRUE(app->focus(*carried, 5000) && (app->key(QStringLiteral("alt+space"), 0), waitUntil([&] { return app->shownTopLevelsOfOthers() > menus; }, 5000)));
                app->key(QStringLiteral("m"), 0), runEventsFor(300);
                const QString there = side.toward.x() > 0 ? " Right" : side.toward.x() < 0 ? " Left" : side.toward.y() < 0 ? " Up" : " Down";
                const QString back = side.toward.x() > 0 ? " Left" : side.toward.x() < 0 ? " Right" : side.toward.y() < 0 ? " Down" : " Up";
                app->key(there.repeated(120) + back.repeated(120) + QStringLiteral(" Return"));
            } else {
                const QString holding = road == "alt" ? QStringLiteral("alt") : QString();
                app->press(from, holding), app->moveHeld(from, past, 12, 25), app->moveHeld(past, from, 12, 25), app->release(holding);
            }
            runEventsFor(300);
            watch.stop();
            for (const auto& stay : watch.stays(audience))
                EXPECT_TRUE(!ours ? stay.ms() <= 100 : false) << road.toStdString() << " toward the " << side.name << ": " << stay.said().toStdString();
        }
    }
    if (!managed)
        return;
    // Let go over the projector (below now), script management's place is on the laptop screen all the
    // same: a panel come and gone and the lid closed and opened put it back there and nowhere else.
    const QRect audience(under, laptop.size());
    const QPoint title = outerOf(*management).topLeft() + QPoint(250, 8);
    app->drag(title, QPoint(title.x(), audience.top() + 300));
    ASSERT_TRUE(waitUntil([&] { return laptop.contains(outerOf(*management)); }, 5000)) << ours();
    runEventsFor(500);
    watch.start();
    {
        StatusArea panel(display, true);
        ASSERT_TRUE(panel.start()) << panel.failure().toStdString();
        EXPECT_TRUE(waitUntil([&] { return outerOf(*management).top() >= 30 && laptop.contains(outerOf(*management)); }, 5000)) << ours();
    }
    runEventsFor(1000);
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --off")) && waitUntil([&] { return !app->shows(*island); }, 5000));
    ASSERT_TRUE(arrange(corner, under) && waitUntil([&] { return app->shows(*island) && !anyOfOurs([&](const QRect& f) { return !laptop.contains(f); }); }, 5000)) << ours();
    runEventsFor(500);
    watch.stop();
    for (const auto& stay : watch.stays(audience))
        EXPECT_TRUE(stay.nearChange && stay.ms() <= 100) << "let go over the projector: " << stay.said().toStdString();
}

// A drag or resize held while the windows go and come back: through two quick changes, a change that hides the
// window, or the emergency key's hide and its end. Openbox lets go of a window hidden mid-drag: across a change it
// goes to its place, at its size before the press; under the same displays, moved whole, it stands where the hand
// let go. Our own grip carries the island on to where it is let go.
TEST_P(DisplayChangeTest, ADragHeldWhileTheWindowsGoAndComeBackEndsWhereLetGoOrAtItsPlace)
{
    const QRect left(beside, laptop.size());
    // Until it holds, and still half a second later.
    const auto stays = [&](const std::function<bool()>& holds) { return waitUntil(holds, 5000) && (runEventsFor(500), holds()); };
    const auto management = [&] {
        const auto shown = app->pressIslandSetting(*island, controls::settings::scriptManagement) ? app->waitWindow(QStringLiteral("稿件管理")) : std::nullopt;
        return app->key(QStringLiteral("Escape")), shown.value_or(RunningApplication::Window{});
    };
    // The island held at `at` while the projector goes left and, a moment later, below; let go at `to`.
    const auto islandHeld = [&](QPoint at, const QString& holding, QPoint to) {
        const QPoint from = outerOf(*island).topLeft() + at;
        app->press(from, holding), app->moveHeld(from, from + QPoint(100, 60), 5);
        arrange(beside, corner), runEventsFor(200), arrange(corner, under);
        const bool back = waitUntil([&] { return app->shows(*island); }, 5000);
        return app->moveHeld(from + QPoint(100, 60), to), app->release(holding), back;
    };
    struct Row { const char* name; bool managed; std::function<bool()> walk; };
    const std::vector<Row> rows{
        {"Alt on the island, the projector left, then below", true,
         [&] { return islandHeld({320, 400}, QStringLiteral("alt"), {780, 518}) && stays([&] { return islandAtItsPlace(laptop); }); }},
        {"the island by our grip, the projector left, then below", false, [&] {
             const QPoint was = outerOf(*island).topLeft(), by(-300, 250);
             return islandHeld({150, 28}, {}, was + QPoint(150, 28) + by) && stays([&] { return outerOf(*island).topLeft() == was + by; });
         }},
        {"稿件管理 by its bottom-right border, the projector left", true, [&] {
             const auto w = management();
             const QRect was = outerOf(w);
             const QPoint from = was.bottomRight() + QPoint(-3, -2);
             app->press(from), app->moveHeld(from, from + QPoint(-100, -80), 5);
             arrange(beside, corner);
             const bool back = waitUntil([&] { return outerOf(w).intersects(left); }, 5000);
             app->moveHeld(from + QPoint(-100, -80), outerOf(w).bottomRight() + QPoint(40, 30)), app->release();
             return back && stays([&] { return outerOf(w).size() == was.size() && (outerOf(w).center() - left.center()).manhattanLength() <= 2; });
         }},
        {"稿件管理 by its bottom-right border, the projector above, shown throughout", true, [&] {
             const auto w = management();
             const QRect was = outerOf(w), home(under, laptop.size());
             const QPoint from = was.bottomRight() + QPoint(-3, -2), part = from + QPoint(-100, -80);
             app->noteHides(w);
             ConfigureWatch watch(display, app->pid());
             app->press(from), app->moveHeld(from, part, 5);
             watch.start();
             arrange(under, corner);
             QRect now;
             const bool moved = stays([&] { return home.contains(now = outerOf(w)); });
             // The corner follows the hand from where the window stands now.
             const QPoint to = now.bottomRight() + QPoint(40, 30);
             app->moveHeld(part, to, 5), app->release();
             const bool right = moved && !app->wasHidden(w) && stays([&] { return outerOf(w) == QRect(now.topLeft(), to - (from - was.bottomRight())); });
             watch.stop();
             // On the projector only as the screens moved under it, and as openbox's resize ended, putting the
             // window back where the resize began, answered at once.
             const auto strays = watch.stays(QRect(corner, laptop.size()));
             return right && std::ranges::all_of(strays, [](const auto& stay) { return stay.moved ? stay.ms() <= 50 : stay.ms() <= 1000; });
         }},
        {"稿件管理 by its title bar, the emergency key pressed mid-drag", true, [&] {
             const auto w = management();
             const QRect was = outerOf(w);
             const QPoint from = was.topLeft() + QPoint(250, 8), by(-100, -100);
             app->press(from), app->moveHeld(from, from + by / 2, 5), app->pressEmergencyKey();
             const bool hidden = waitUntil([&] { return !app->shows(w); }, 5000);
             app->moveHeld(from + by / 2, from + by, 5), app->release(), app->pressEmergencyKey();
             return hidden && stays([&] { return outerOf(w).topLeft() == was.topLeft() + by; });
         }}};
    for (const Row& row : rows) {
        if (row.managed && GetParam() == Manager::none)
            continue;
        if (&row != &rows.front()) {
            app.reset();
            ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
            app = std::make_unique<RunningApplication>(display);
            ASSERT_TRUE(app->launch() && (island = app->settledIsland()) && app->waitUntilOffersPrivacyOutput(*island));
        }
        EXPECT_TRUE(row.walk()) << row.name << ':' << ours();
    }
}

// A window manager that moves the island away after every placing is answered only so often per change,
// then left alone: the program goes idle instead of fighting it.
TEST_P(DisplayChangeTest, AWindowManagerThatKeepsMovingTheIslandIsAnsweredOnlySoOften)
{
    ASSERT_TRUE(arrange(corner, under) && waitUntil([&] { return islandAtItsPlace(laptop); }, 5000)) << ours();
    int answered = 0;
    for (; answered < 40; ++answered) {
        app->moveWindow(*island, {100, 300});
        if (!waitUntil([&] { return outerOf(*island).topLeft() != QPoint(100, 300) && islandAtItsPlace(laptop); }, 2000))
            break;
    }
    // Moves of the window manager's own since the change may have used some answers, and a placing still owed
    // may bring it back once more.
    EXPECT_TRUE(answered >= 1 && answered <= 18) << answered;
    EXPECT_TRUE((runEventsFor(500), outerOf(*island).topLeft() == QPoint(100, 300))) << ours();
}

TEST_P(DisplayChangeTest, AProjectorMovedLeftWithAnotherModeKeepsEveryAudienceWindowOffTheLaptop)
{
    ASSERT_TRUE(goLive() && xrandr(QStringLiteral("--addmode DUMMY1 1600x900")));
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY1 --mode 1600x900 --pos 0x0 --output DUMMY0 --pos 1600x0")));
    const QRect movedLaptop = laptop.translated(1600, 0), projectorNow(0, 0, 1600, 900);
    // Once the audience's window has followed the projector, nothing of ours straddles the two screens:
    // what stands on the laptop (the island, the mask) stands wholly there, and stays so.
    const auto straddles = [&] { return anyOfOurs([&](const QRect& f) { return f.intersects(movedLaptop) && !movedLaptop.contains(f); }); };
    ASSERT_TRUE(waitUntil([&] { return !straddles() && anyOfOurs([&](const QRect& f) { return f == projectorNow; }); }, 10000)) << ours();
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_FALSE(straddles()) << ours();
    EXPECT_TRUE(anyOfOurs([&](const QRect& f) { return f == projectorNow; })) << ours();
}

} // namespace

QUORVIA_UNDER_EACH_WINDOW_MANAGER(DisplayChangeTest);
