#include "app/PlacementWatch.h"

#include "CoordinatorHarness.h"

#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "support/FakePointerService.h"
#include "support/TestPlatform.h"

#include <QMouseEvent>
#include <QMoveEvent>
#include <QSpontaneKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {
// The server tells where the window stands now.
void serverMoves(platform::Window& window, const QRect& to)
{
    QMoveEvent moved(to.topLeft(), window.pos());
    window.QWidget::setGeometry(to);
    QCoreApplication::sendEvent(&window, &moved);
}

// A shown window of ours at 100,100 under a watch that places it, with a pointer that tells of input; the
// platform outlives both.
struct Watched {
    Watched()
    {
        env.platform().pointerService = pointer;
        window = std::make_unique<platform::Window>(platform::fromQtGlobal(QRectF(100, 100, 400, 300)));
        watch = std::make_unique<PlacementWatch>();
        watch->placesWindow = [](const QWidget&) { return true; };
        window->orderFront();
    }
    test::TestPlatform env;
    std::shared_ptr<test::FakePointerService> pointer = std::make_shared<test::FakePointerService>();
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<PlacementWatch> watch;
};
} // namespace

// After the placing, a press numbered `press` (on the window or not, with Alt or Super, let go at `release` or
// still held) and keys numbered up to `key`, then a move of the shown window at 100,100: whose was it?
// `movedNothing`: the input ended with its window where it stood at the input. `gripFirst`: our own grip carried
// the window off the press point before the move. `changeWhileHeld`: a change of the displays was placed while
// the press was held; `reverts`: it was undone before its placing; `hidden`: it hid the window meanwhile, which
// the window manager lets go of.
TEST(PlacementWatch, AMoveIsTheSpeakersOnlyWithTheInputThatMadeIt)
{
    const QPoint on(150, 150), off(900, 700);
    const std::optional<QPoint> held;
    struct Case {
        const char* name; std::uint64_t press; QPoint at; bool modifier; std::optional<QPoint> release; std::uint64_t key; bool typed, ours, speakers;
        bool keyboardHere = true, movedNothing = false, gripFirst = false, changeWhileHeld = false, pushedUnsettled = false, reverts = false, hidden = false;
    };
    for (const Case& c : {Case{"altDrag", 3, on, true, off, 2, false, false, true}, Case{"altDragStillHeld", 3, on, true, held, 2, false, false, true},
                          Case{"altClick", 3, on, true, on, 2, false, false, false}, Case{"plainDrag", 3, on, false, off, 2, false, false, false},
                          Case{"heldOnTheDesktop", 3, off, true, held, 2, false, false, false}, Case{"beforeThePlacing", 2, on, true, off, 2, false, false, false},
                          Case{"keysTheManagerTook", 0, {}, false, {}, 3, false, false, true}, Case{"keysTheWindowHad", 0, {}, false, {}, 3, true, false, false},
                          Case{"keysWhileAnotherHadTheKeyboard", 0, {}, false, {}, 3, false, false, false, false},
                          Case{"ourOwnMoveAndItsEcho", 0, {}, false, {}, 3, false, true, false},
                          Case{"altDragThatMovedNothing", 3, on, true, off, 2, false, false, false, true, true},
                          Case{"keysThatMovedNothing", 0, {}, false, {}, 3, false, false, false, true, true},
                          Case{"afterOurGripsDrag", 3, on, false, off, 2, false, false, false, true, false, true},
                          Case{"altDragHeldThroughAChange", 3, on, true, held, 2, false, false, true, true, false, false, true},
                          Case{"altDragLetGoAfterAChange", 3, on, true, off, 2, false, false, true, true, false, false, true},
                          Case{"altDragHeldThroughAPushBeforeThePlacing", 3, on, true, off, 2, false, false, true, true, false, false, true, true},
                          Case{"altDragHeldThroughAChangeThatReverts", 3, on, true, off, 2, false, false, true, true, false, false, true, true, true},
                          Case{"altDragHeldThroughAHide", 3, on, true, held, 2, false, false, false, true, false, false, true, false, false, true},
                          Case{"altDragLetGoAfterAHide", 3, on, true, off, 2, false, false, false, true, false, false, true, false, false, true}}) {
        Watched w;
        auto& window = *w.window;
        auto& watch = *w.watch;
        auto& pointer = w.pointer;
        bool settled = true;
        watch.isSettled = [&] { return settled; };
        w.env.windowSystem().focus = platform::KeyboardFocus{platform::KeyboardFocus::Holder::ours, &window};
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        pointer->key = {2, &window, {}, {}};
        watch.place(true, [] {});
        const auto area = platform::fromQtGlobal(QRectF(window.geometry()));
        const auto ended = c.movedNothing ? std::optional(area) : std::nullopt;
        pointer->press = {c.press, platform::fromQtGlobal(QPointF(c.at)), c.modifier,
                          c.release && !c.changeWhileHeld ? std::optional(platform::fromQtGlobal(QPointF(*c.release))) : std::nullopt,
                          c.at == on ? &window : nullptr, area, c.release ? ended : std::nullopt};
        pointer->buttonHeld = !pointer->press.release;
        pointer->keys = {pointer->key};
        pointer->key = {c.key, c.keyboardHere ? &window : nullptr, area, c.press ? std::nullopt : ended};
        if (c.changeWhileHeld) {
            // The window manager's push as the screens change, judged before the placing.
            if (c.pushedUnsettled)
                settled = false, serverMoves(window, window.geometry().translated(0, 40)), settled = true;
            if (c.hidden) {
                window.orderOut(), window.orderFront();
                ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            }
            watch.place(!c.reverts, [] {});
            pointer->press.release = c.release ? std::optional(platform::fromQtGlobal(QPointF(*c.release))) : std::nullopt;
            pointer->buttonHeld = !c.release;
        }
        if (c.gripFirst)
            window.setFrame(platform::fromQtGlobal(QRectF(300, 200, 400, 300)));
        if (c.typed)
            QTest::keyPress(&window, Qt::Key_Left);
        const QRect stood = window.geometry();
        QRect to(140, 130, 400, 300);
        if (c.ours) {
            window.setFrame(platform::fromQtGlobal(QRectF(to)));
            to = window.geometry();
        }
        serverMoves(window, to);
        EXPECT_EQ(watch.isSpeakers(&window), c.speakers) << c.name;
        // Any other move goes back at once.
        EXPECT_EQ(window.geometry(), c.speakers || c.ours ? to : stood) << c.name;
    }
}

// The first move told once a drag or the keys have ended spends them: a later one, another program's or a window
// manager's push as the screens change, goes back where the speaker left the window, as does the next placing;
// unsettled, none is theirs.
TEST(PlacementWatch, AnInputMakesNoMoveAfterTheFirstToldOnceItEnded)
{
    for (const bool settled : {true, false}) {
        Watched w;
        auto& window = *w.window;
        auto& watch = *w.watch;
        auto& pointer = w.pointer;
        watch.isSettled = [&] { return settled; };
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        watch.place(true, [] {});
        pointer->press = {1, platform::fromQtGlobal(QPointF(150, 150)), true, platform::fromQtGlobal(QPointF(190, 180)), &window, {}, {}};
        serverMoves(window, {140, 130, 400, 300});
        EXPECT_EQ(watch.isSpeakers(&window), settled);
        serverMoves(window, {700, 500, 400, 300});
        EXPECT_EQ(window.geometry(), settled ? QRect(140, 130, 400, 300) : QRect(700, 500, 400, 300)) << settled;
        // Pushed inside an edge for a while (a panel came), it goes back where the speaker left it with the next placing.
        window.keepFrame(platform::fromQtGlobal(QRectF(140, 180, 400, 300)));
        const int kept = window.geometry().top();
        watch.place(false, [] {});
        EXPECT_EQ(window.geometry().top(), settled ? 130 : kept) << settled;
        if (!settled)
            continue;
        // Pushed back to its place while a clamp's ask is on its way, it asks for its place anew: the clamp's late
        // echo is no move of ours.
        const QRect placed = window.geometry();
        window.keepFrame(platform::fromQtGlobal(QRectF(140, 180, 400, 300)));
        const QRect clamped = window.geometry();
        serverMoves(window, placed);
        serverMoves(window, clamped);
        EXPECT_EQ(window.geometry(), placed);
    }
}

// A window manager that carried a window on without telling it where (it lost track of it mid-drag) left it
// where the server said as the button went up, the speaker's from then on.
TEST(PlacementWatch, ADragNeverToldOfStandsWhereTheButtonWentUp)
{
    Watched w;
    auto& window = *w.window;
    auto& watch = *w.watch;
    auto& pointer = w.pointer;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    watch.place(true, [] {});
    const QRect stood = window.geometry(), ended = stood.translated(300, 200);
    pointer->press = {1, platform::fromQtGlobal(QPointF(stood.center())), true, platform::fromQtGlobal(QPointF(stood.center() + QPoint(300, 200))),
                      &window, platform::fromQtGlobal(QRectF(stood)), platform::fromQtGlobal(QRectF(ended))};
    // Taken as the button goes up; the speaker's until the next change.
    ASSERT_TRUE(pointer->onPressEnded);
    pointer->onPressEnded();
    EXPECT_EQ(window.geometry(), ended);
    EXPECT_TRUE(watch.isSpeakers(&window));
    watch.place(true, [] {});
    EXPECT_FALSE(watch.isSpeakers(&window));
    // Let go where the program had just put it: nothing left to tell, and the speaker's all the same.
    const QRect asked = stood.translated(-50, 30);
    window.setFrame(platform::fromQtGlobal(QRectF(asked.marginsAdded(window.decorationMargins()))));
    pointer->press = {2, platform::fromQtGlobal(QPointF(stood.center())), true, platform::fromQtGlobal(QPointF(stood.center() + QPoint(-50, 30))),
                      &window, platform::fromQtGlobal(QRectF(stood)), platform::fromQtGlobal(QRectF(asked))};
    pointer->onPressEnded();
    EXPECT_EQ(window.geometry(), asked);
    EXPECT_TRUE(watch.isSpeakers(&window));
    // Let go before the change it was held through is placed: the placing leaves it where it was let go.
    bool settled = false;
    watch.isSettled = [&] { return settled; };
    const QRect home(200, 150, 400, 300), let = asked.translated(120, 60);
    pointer->press = {3, platform::fromQtGlobal(QPointF(asked.center())), true, platform::fromQtGlobal(QPointF(let.center())), &window,
                      platform::fromQtGlobal(QRectF(asked)), platform::fromQtGlobal(QRectF(let))};
    pointer->onPressEnded();
    settled = true;
    watch.place(true, [&] {
        if (!watch.isSpeakers(&window))
            window.setFrame(platform::fromQtGlobal(QRectF(home.marginsAdded(window.decorationMargins()))));
    });
    EXPECT_EQ(window.geometry(), let);
    EXPECT_TRUE(watch.isSpeakers(&window));
}

// A drag by the title bar or with Alt, or a resize by a border whose steps the window manager told while held:
// let go, it stands where it was let go, at that size, as its place. A hold hides it mid-drag (the emergency key),
// and the window manager lets go of it while the hand carries on: moved whole, it stands where the hand let go;
// resized, or across a change, it is at its place at its size then.
TEST(PlacementWatch, ADragOrResizeEndsWhereLetGoOrAHoldCutItAtItsPlace)
{
    enum class Ends { byHand, resized, atItsPlace, placed, grownByHand };
    struct Case { const char* name; QPoint at; bool modifier, hidden, change; Ends ends; bool grows = false; };
    for (const Case& c : {Case{"borderLetGo", {403, 303}, false, false, false, Ends::resized}, Case{"titleBarCut", {50, -10}, false, true, false, Ends::byHand},
                          Case{"altCut", {50, 50}, true, true, false, Ends::byHand}, Case{"borderCut", {403, 303}, false, true, false, Ends::atItsPlace},
                          Case{"titleBarCutAcrossAChange", {50, -10}, false, true, true, Ends::placed},
                          Case{"borderCutAcrossAChange", {403, 303}, false, true, true, Ends::placed},
                          Case{"altDragWhileTheProgramGrowsIt", {50, 50}, true, false, false, Ends::grownByHand, true}}) {
        Watched w;
        auto& window = *w.window;
        auto& watch = *w.watch;
        auto& pointer = w.pointer;
        bool settled = true;
        watch.isSettled = [&] { return settled; };
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Its frame as the window manager's decorations, known now, make it.
        window.setFrame(platform::fromQtGlobal(QRectF(window.geometry().marginsAdded(window.decorationMargins()))));
        watch.place(true, [] {});
        const QRect place = window.geometry(), home(QPoint(300, 200), place.size()), resized(place.topLeft(), place.size() - QSize(80, 60));
        const QPoint from = place.topLeft() + c.at, to = from + QPoint(-60, 40);
        pointer->press = {1, platform::fromQtGlobal(QPointF(from)), c.modifier, std::nullopt, &window, platform::fromQtGlobal(QRectF(place)), std::nullopt};
        pointer->buttonHeld = true;
        if (c.at.x() > place.width())
            serverMoves(window, resized);
        // Openbox carries it on at its size at the press.
        const QRect grown(place.topLeft() + (to - from), place.size() + QSize(0, 100));
        if (c.grows) {
            window.setFrame(platform::fromQtGlobal(QRectF(QRect(place.topLeft(), grown.size()).marginsAdded(window.decorationMargins()))));
            serverMoves(window, QRect(grown.topLeft(), place.size()));
        }
        if (c.hidden) {
            // The key, then its hide; the window manager puts a window it moved back where the drag began.
            pointer->key = {2, &window, {}, {}};
            settled = false;
            window.orderOut();
            if (c.at.x() < place.width())
                serverMoves(window, place);
        }
        pointer->press.release = platform::fromQtGlobal(QPointF(to));
        pointer->press.areaAtRelease = platform::fromQtGlobal(QRectF(window.geometry()));
        pointer->buttonHeld = false;
        pointer->onPressEnded();
        settled = true;
        // The placing puts it in the middle at the size it has.
        if (c.change)
            watch.place(true, [&] {
                if (!watch.isSpeakers(&window))
                    window.setFrame(platform::fromQtGlobal(QRectF(QRect(home.topLeft(), window.geometry().size()).marginsAdded(window.decorationMargins()))));
            });
        else if (c.hidden)
            watch.forgetInput(true), window.returnToPlace();
        window.orderFront();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Whatever stands so is its place from now on.
        watch.place(false, [] {});
        const QRect ended = c.ends == Ends::byHand ? place.translated(to - from) : c.ends == Ends::resized ? resized : c.ends == Ends::placed ? home
            : c.ends == Ends::grownByHand ? grown : place;
        EXPECT_EQ(window.geometry(), ended) << c.name;
        EXPECT_EQ(watch.isSpeakers(&window), c.ends == Ends::byHand || c.ends == Ends::resized || c.ends == Ends::grownByHand) << c.name;
    }
}

// A window manager that keeps moving a window is answered so many times after each change, then left alone.
TEST(PlacementWatch, MovesByNobodyAreAnsweredOnlySoOftenAChange)
{
    Watched w;
    auto& window = *w.window;
    auto& watch = *w.watch;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect home = window.geometry();
    for (int change = 0; change < 2; ++change) {
        watch.place(true, [] {});
        int answered = 0;
        for (int i = 1; i <= 2 * PlacementWatch::windowManagerMovesAnswered; ++i) {
            serverMoves(window, home.translated(i, 0));
            answered += window.geometry() == home;
        }
        EXPECT_EQ(answered, 16) << change;
        window.returnToPlace();
    }
}

class PlacementAcrossAHold : public test::CoordinatorHarness {
protected:
    // Started with the projector plugged in.
    platform::Window& shownIsland()
    {
        buildAndStart();
        plugAudienceDisplay();
        runFor(1.0);
        platform::Window& island = *app().island()->window();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&island));
        return island;
    }
    // Held down at `at` on the island, with Alt or not.
    void press(platform::Window& island, QPoint at, bool alt)
    {
        pointer->press = {1, platform::fromQtGlobal(QPointF(at)), alt, std::nullopt, &island, platform::fromQtGlobal(QRectF(island.geometry())), std::nullopt};
        pointer->buttonHeld = true;
    }
};

// An Alt drag the window manager never told of (held against an edge, it moved nothing) makes no move after
// the emergency key's hide: a move then is another program's, and goes back.
TEST_F(PlacementAcrossAHold, InputBeforeTheHoldMakesNoMoveAfterIt)
{
    platform::Window& island = shownIsland();
    const QRect stood = island.geometry();
    pointer->press = {1, platform::fromQtGlobal(QPointF(stood.center())), true, platform::fromQtGlobal(QPointF(stood.center() + QPoint(0, -40))), &island, {}, {}};
    pressEmergencyKey();
    pressEmergencyKey();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&island));
    serverMoves(island, stood.translated(200, 100));
    settle();
    EXPECT_EQ(island.geometry(), stood);
}

// A drag let go as the projector moves, before that change is placed, which the window manager never told of;
// then the emergency key's hide and its end: the placing the change owes leaves the island where it was let go.
TEST_F(PlacementAcrossAHold, ADragLetGoAsTheDisplaysChangeStaysThroughTheHoldThatFollows)
{
    platform::Window& island = shownIsland();
    const QRect let = island.geometry().translated(-200, 150);
    press(island, island.geometry().center(), true);
    displays->setFrame(2, platform::Rect(-1920, 0, 1920, 1080));
    pointer->press.release = platform::fromQtGlobal(QPointF(let.center()));
    pointer->press.areaAtRelease = platform::fromQtGlobal(QRectF(let));
    pointer->buttonHeld = false;
    pointer->onPressEnded();
    pressEmergencyKey();
    pressEmergencyKey();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&island));
    settle();
    EXPECT_EQ(island.geometry(), let);
}

// Our grip drags the island through the emergency key's hide, a panel coming meanwhile: the hold's end leaves
// it where the grip carries it, held still.
TEST_F(PlacementAcrossAHold, OurGripsDragHeldThroughTheHoldIsLeftToTheHand)
{
    platform::Window& island = shownIsland();
    press(island, island.geometry().topLeft() + QPoint(150, 28), false);
    QMouseEvent dragged(QEvent::MouseMove, QPointF(160, 30), QPointF(island.geometry().topLeft() + QPoint(160, 30)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QSpontaneKeyEvent::setSpontaneous(&dragged);
    qApp->notify(&island, &dragged);
    pressEmergencyKey();
    island.setFrame(island.frame().offsetBy(-200, -150));
    const QRect carried = island.geometry();
    const auto screen = test::FakeDisplayService::builtIn(1);
    displays->setFrame(1, screen.frame, platform::Rect(screen.visibleFrame.origin, platform::Size(screen.visibleFrame.size.width, screen.visibleFrame.size.height - 60)));
    pressEmergencyKey();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&island));
    settle();
    EXPECT_EQ(island.geometry(), carried);
}

// A hide's restore still pending holds no placing back, nor makes a speaker's move another's.
TEST_F(PlacementAcrossAHold, ARestoreStillPendingLeavesTheSpeakersMoveTheirs)
{
    platform::Window& island = shownIsland();
    const auto registered = app().windows().registeredWindows();
    const auto hidden = std::ranges::find_if(registered, [](const platform::Window* w) { return !w->isVisible(); });
    ASSERT_NE(hidden, registered.end());
    app().windows().rememberAsVisible(*hidden);
    ASSERT_TRUE(app().windows().hasRestorationSnapshot());
    const QRect moved = island.geometry().translated(-200, 150);
    press(island, island.geometry().center(), true);
    pointer->press.release = platform::fromQtGlobal(QPointF(moved.center()));
    pointer->press.area.reset();
    pointer->buttonHeld = false;
    serverMoves(island, moved);
    settle();
    EXPECT_EQ(island.geometry(), moved);
}
