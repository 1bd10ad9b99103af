#include "app/PlacementWatch.h"

#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "support/FakePointerService.h"
#include "support/TestPlatform.h"

#include <QMoveEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvia;

// After the placing, a press numbered `press` (with Alt or Super, let go at `release` or still held) and
// keys numbered up to `key`, then a move of the window at 100,100, which has the keyboard: whose was it?
TEST(PlacementWatch, AMoveIsTheSpeakersOnlyWithTheInputThatMadeIt)
{
    const QPoint on(150, 150), off(900, 700);
    const std::optional<QPoint> held;
    struct Case { const char* name; std::uint64_t press; QPoint at; bool modifier; std::optional<QPoint> release; std::uint64_t key; bool typed, ours, speakers; };
    for (const Case& c : {Case{"altDrag", 3, on, true, off, 2, false, false, true}, Case{"altDragStillHeld", 3, on, true, held, 2, false, false, true},
                          Case{"altClick", 3, on, true, on, 2, false, false, false}, Case{"plainDrag", 3, on, false, off, 2, false, false, false},
                          Case{"heldOnTheDesktop", 3, off, true, held, 2, false, false, false}, Case{"beforeThePlacing", 2, on, true, off, 2, false, false, false},
                          Case{"keysTheManagerTook", 0, {}, false, {}, 3, false, false, true}, Case{"keysTheWindowHad", 0, {}, false, {}, 3, true, false, false},
                          Case{"ourOwnMoveAndItsEcho", 0, {}, false, {}, 3, false, true, false}}) {
        test::TestPlatform env;
        auto pointer = std::make_shared<test::FakePointerService>();
        platform::Window window(platform::fromQtGlobal(QRectF(100, 100, 400, 300)));
        PlacementWatch watch;
        env.platform().pointerService = pointer;
        env.windowSystem().focus = platform::KeyboardFocus{platform::KeyboardFocus::Holder::ours, &window};
        watch.placesWindow = [](const QWidget&) { return true; };
        pointer->key = 2;
        watch.place(true, [] {});
        pointer->press = {c.press, platform::fromQtGlobal(QPointF(c.at)), c.modifier,
                          c.release ? std::optional(platform::fromQtGlobal(QPointF(*c.release))) : std::nullopt};
        pointer->key = c.key;
        if (c.typed)
            QTest::keyPress(&window, Qt::Key_Left);
        const platform::Rect to = platform::fromQtGlobal(QRectF(140, 130, 400, 300));
        if (c.ours)
            window.setFrame(to);
        // The server tells where the window stands now.
        QMoveEvent moved(QPoint(140, 130), static_cast<QWidget&>(window).pos());
        static_cast<QWidget&>(window).setGeometry(platform::toQtGlobal(to));
        QCoreApplication::sendEvent(&window, &moved);
        EXPECT_EQ(watch.isSpeakers(&window), c.speakers) << c.name;
    }
}
