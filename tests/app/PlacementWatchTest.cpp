#include "app/PlacementWatch.h"

#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "support/FakePointerService.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QMoveEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace quorvia;
using namespace quorvia::test;

namespace {

// Presses and keys as the pointer service numbers them, and a move nobody
// asked of the window: whose was it?
struct Case {
    const char* name;
    std::function<void(FakePointerService&, platform::Window&)> input;
    bool speakers;
};

class PlacementWatchTest : public ::testing::TestWithParam<Case> {
protected:
    PlacementWatchTest()
    {
        env.platform().pointerService = pointer;
        watch.placesWindow = [](const QWidget&) { return true; };
        window.winId();
        env.windowSystem().focus = platform::KeyboardFocus{platform::KeyboardFocus::Holder::ours, &window};
    }
    // Where a window manager would move it: Qt tells the window, nobody asked.
    void moveByOthers(QPoint to = QPoint(140, 130))
    {
        QMoveEvent moved(to, window.geometry().topLeft());
        static_cast<QWidget&>(window).setGeometry(QRect(to, window.geometry().size()));
        QCoreApplication::sendEvent(&window, &moved);
    }

    TestPlatform env;
    std::shared_ptr<FakePointerService> pointer = std::make_shared<FakePointerService>();
    platform::Window window{platform::fromQtGlobal(QRectF(100, 100, 400, 300))};
    PlacementWatch watch;
};

platform::PointerService::Press press(std::uint64_t number, QPoint at, bool modifier = false, std::optional<QPoint> release = QPoint(900, 900))
{
    std::optional<platform::Point> up;
    if (release)
        up = platform::fromQtGlobal(QPointF(*release));
    return {number, platform::fromQtGlobal(QPointF(at)), modifier, up};
}

TEST_P(PlacementWatchTest, AMoveIsTheSpeakersOnlyWithTheInputThatMadeIt)
{
    pointer->key = 2;
    watch.place(true, [] {});
    GetParam().input(*pointer, window);
    const platform::Rect before = window.askedFrame();
    moveByOthers();
    EXPECT_EQ(watch.isSpeakers(&window), GetParam().speakers);
    // Where the speaker left it is its place; the window manager's move leaves the place.
    EXPECT_EQ(window.askedFrame() == before, !GetParam().speakers);
}

INSTANTIATE_TEST_SUITE_P(Inputs, PlacementWatchTest, ::testing::Values(
    Case{"altDragOnTheWindow", [](auto& p, auto&) { p.press = press(3, {150, 150}, true); }, true},
    Case{"altDragStillHeld", [](auto& p, auto&) { p.press = press(3, {150, 150}, true, std::nullopt); }, true},
    Case{"clickThatMovesNothing", [](auto& p, auto&) { p.press = press(3, {150, 150}, true, QPoint(150, 150)); }, false},
    Case{"plainDragInside", [](auto& p, auto&) { p.press = press(3, {150, 150}); }, false},
    Case{"heldOnTheDesktop", [](auto& p, auto&) { p.press = press(3, {900, 700}, true, std::nullopt), p.buttonHeld = true; }, false},
    Case{"keysTheWindowManagerTook", [](auto& p, auto&) { p.key = 3; }, true},
    Case{"keysTheWindowHad", [](auto& p, auto& w) {
        p.key = 3;
        QTest::keyPress(w.windowHandle(), Qt::Key_Left);
    }, false},
    Case{"keysBeforeThePlacing", [](auto&, auto&) {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// With input that would make any other move the speaker's, our own moves
// and the echoes of them stay nobody's.
TEST_F(PlacementWatchTest, OurOwnMovesAndTheirEchoesAreNobodys)
{
    watch.place(true, [] {});
    pointer->key = 1;
    window.setFrame(platform::fromQtGlobal(QRectF(300, 300, 400, 300)));
    moveByOthers({300, 300});
    EXPECT_FALSE(watch.isSpeakers(&window));
}

} // namespace
