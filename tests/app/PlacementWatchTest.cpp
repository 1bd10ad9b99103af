#include "app/PlacementWatch.h"

#include "CoordinatorHarness.h"

#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "support/FakePointerService.h"
#include "support/TestPlatform.h"

#include <QMoveEvent>
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
// the press was held.
TEST(PlacementWatch, AMoveIsTheSpeakersOnlyWithTheInputThatMadeIt)
{
    const QPoint on(150, 150), off(900, 700);
    const std::optional<QPoint> held;
    struct Case {
        const char* name; std::uint64_t press; QPoint at; bool modifier; std::optional<QPoint> release; std::uint64_t key; bool typed, ours, speakers;
        bool keyboardHere = true, movedNothing = false, gripFirst = false, changeWhileHeld = false, pushedUnsettled = false;
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
                          Case{"altDragHeldThroughAPushBeforeThePlacing", 3, on, true, off, 2, false, false, true, true, false, false, true, true}}) {
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
            watch.place(true, [] {});
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

// An Alt drag the window manager never told of (held against an edge, it moved nothing) makes no move after
// the emergency key's hide: a move then is another program's, and goes back.
class PlacementAcrossAHold : public test::CoordinatorHarness {};
TEST_F(PlacementAcrossAHold, InputBeforeTheHoldMakesNoMoveAfterIt)
{
    buildAndStart();
    plugAudienceDisplay();
    runFor(1.0);
    platform::Window& island = *app().island()->window();
    ASSERT_TRUE(island.isVisible());
    const QRect stood = island.geometry();
    pointer->press = {1, platform::fromQtGlobal(QPointF(stood.center())), true, platform::fromQtGlobal(QPointF(stood.center() + QPoint(0, -40))), &island, {}, {}};
    pressEmergencyKey();
    pressEmergencyKey();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&island));
    serverMoves(island, stood.translated(200, 100));
    settle();
    EXPECT_EQ(island.geometry(), stood);
}
