#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/desktop/LinuxPointerService.h"
#include "platform/linux/desktop/XcbConnection.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <xcb/xtest.h>

#include <chrono>
#include <thread>

using namespace quorvia;
using platform::native::LinuxPointerService;

namespace {

void xdotool(const QStringList& arguments)
{
    QProcess xdotool;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), test::XServer::display());
    xdotool.setProcessEnvironment(environment);
    xdotool.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(xdotool.waitForFinished(60000));
    ASSERT_EQ(xdotool.exitCode(), 0);
}

// Puts the pointer somewhere as a program does (a warp, of which the server says nothing).
void warpPointer(QPoint to)
{
    xdotool({QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y())});
}

// Moves the pointer as a person's mouse does, through an input device.
void movePointerBy(QPoint by)
{
    xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QString::number(by.x()), QString::number(by.y())});
}

platform::Point at(QPoint qt) { return platform::fromQtGlobal(QPointF(qt)); }
platform::Rect at(QRect qt) { return platform::fromQtGlobal(QRectF(qt)); }

// Buttons and keys as an input device makes them, on a connection of the
// test's own; each step has reached the server when it returns.
class FakeInput {
public:
    FakeInput() : x_(platform::native::connectXcbScreen(test::XServer::display().toLocal8Bit())) {}
    ~FakeInput()
    {
        if (x_)
            xcb_disconnect(x_->connection);
    }
    bool isConnected() const { return x_.has_value(); }

    void moveTo(QPoint to) { send(XCB_MOTION_NOTIFY, 0, to); }
    void press(std::uint8_t button) { send(XCB_BUTTON_PRESS, button); }
    void release(std::uint8_t button) { send(XCB_BUTTON_RELEASE, button); }
    void type(std::uint8_t keycode)
    {
        keyDown(keycode);
        keyUp(keycode);
    }
    void keyDown(std::uint8_t keycode) { send(XCB_KEY_PRESS, keycode); }
    void keyUp(std::uint8_t keycode) { send(XCB_KEY_RELEASE, keycode); }
    void focus(xcb_window_t window)
    {
        xcb_set_input_focus(x_->connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
    }
    xcb_window_t focused()
    {
        const auto focus = platform::native::xcbReply(
            xcb_get_input_focus_reply(x_->connection, xcb_get_input_focus(x_->connection), nullptr));
        return focus ? focus->focus : XCB_NONE;
    }
    // Where the server has a window's own area now.
    QRect areaOf(xcb_window_t window)
    {
        xcb_connection_t* c = x_->connection;
        const auto origin = platform::native::xcbReply(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, window, x_->screen->root, 0, 0), nullptr));
        const auto geometry = platform::native::xcbReply(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
        return origin && geometry ? QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height) : QRect();
    }

private:
    void send(std::uint8_t type, std::uint8_t detail, QPoint to = {})
    {
        xcb_test_fake_input(x_->connection, type, detail, XCB_CURRENT_TIME, x_->screen->root, std::int16_t(to.x()),
                            std::int16_t(to.y()), 0);
        sync();
    }
    void sync() { focused(); }

    std::optional<platform::native::XcbScreenConnection> x_;
};

// A window of ours, shown where asked (the test server runs no window manager).
void showAt(QWidget& window, QRect area)
{
    window.setGeometry(area);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

// Moves a window and waits until the server has it there.
void moveTo(QWidget& window, FakeInput& input, QPoint to)
{
    window.move(to);
    ASSERT_TRUE(test::waitUntil([&] { return input.areaOf(window.winId()).topLeft() == to; }));
}

// Time enough for the service's own thread to hear of a step.
void holdTheMainThread() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

// The pointer is asked for only when the server says it moved, or for a
// check now and then; each answer is where the pointer is.
TEST(LinuxPointerServiceTest, AsksWhereThePointerIsOnlyWhenItMovedOrForTheOccasionalCheck)
{
    test::TestPlatform env;
    LinuxPointerService pointer;
    ASSERT_NO_FATAL_FAILURE(warpPointer({300, 200}));
    pointer.mouseLocation();
    env.scheduler().advance(LinuxPointerService::recheckInterval);
    ASSERT_EQ(pointer.mouseLocation(), at({300, 200}));

    // Still: the ticks of a second ask nothing, whatever the cursor's picture.
    const auto asked = pointer.positionQueries();
    for (int tick = 0; tick < 30; ++tick) {
        EXPECT_EQ(pointer.mouseLocation(), at({300, 200}));
        pointer.currentCursor();
        QCoreApplication::processEvents();
        env.scheduler().advance(LinuxPointerService::recheckInterval / 40);
    }
    EXPECT_EQ(pointer.positionQueries(), asked);
    // A pointer moved without a word from the server is found at the next check.
    ASSERT_NO_FATAL_FAILURE(warpPointer({640, 480}));
    env.scheduler().advance(LinuxPointerService::recheckInterval);
    EXPECT_EQ(pointer.mouseLocation(), at({640, 480}));
    EXPECT_EQ(pointer.positionQueries(), asked + 1);

    // A mouse's moves are told: each is seen without waiting for the check.
    QPoint to(640, 480);
    for (const QPoint by : {QPoint(60, 20), QPoint(-300, 100), QPoint(5, -7)}) {
        ASSERT_NO_FATAL_FAILURE(movePointerBy(by));
        to += by;
        const auto before = pointer.positionQueries();
        EXPECT_TRUE(test::waitUntil([&] { return pointer.mouseLocation() == at(to); }));
        EXPECT_GE(pointer.positionQueries(), before + 1);
        const auto settled = pointer.positionQueries();
        pointer.mouseLocation();
        pointer.currentCursor();
        EXPECT_EQ(pointer.positionQueries(), settled) << "asked again for a pointer that did not move";
    }
}

// On a server without the cursor extension the cursor is our arrow, and the
// connection still tells of the pointer's moves.
TEST(LinuxPointerServiceTest, WithoutTheCursorExtensionTheArrowIsShownAndMovesAreStillTold)
{
    test::XServer server({"-extension", "XFIXES"});
    ASSERT_FALSE(server.name().isEmpty());
    test::TestPlatform env;
    LinuxPointerService pointer;
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", server.name().toLocal8Bit());
    pointer.mouseLocation();
    qputenv("DISPLAY", display);
    const auto asked = pointer.positionQueries();
    pointer.mouseLocation();
    EXPECT_EQ(pointer.positionQueries(), asked);
    EXPECT_EQ(pointer.currentCursor().image, pointer.arrowCursor().image);
}

// A drag made while the main thread answers nothing is recorded as it
// happened: pressed where it began, let go where it ended.
TEST(LinuxPointerServiceTest, APressIsRecordedWhereItHappenedWhileTheMainThreadIsBusy)
{
    test::TestPlatform env;
    LinuxPointerService pointer;
    FakeInput input;
    ASSERT_TRUE(input.isConnected());
    input.moveTo({400, 300});
    const auto before = pointer.lastPress().number;

    input.press(1);
    holdTheMainThread();
    input.moveTo({900, 700});
    input.release(1);
    // The wheel's turns are no presses.
    input.press(4);
    input.release(4);
    holdTheMainThread();

    const auto press = pointer.lastPress();
    EXPECT_EQ(press.number, before + 1);
    EXPECT_EQ(press.location, at({400, 300}));
    ASSERT_TRUE(press.release);
    EXPECT_EQ(*press.release, at({900, 700}));
    EXPECT_FALSE(press.window);
    EXPECT_FALSE(press.area);
    EXPECT_FALSE(press.areaAtRelease);
}

// A window dragged while held: its own area as the press found it and as the
// button went up.
TEST(LinuxPointerServiceTest, APressOnOurWindowRecordsItsAreaAtThePressAndAtTheRelease)
{
    test::TestPlatform env;
    LinuxPointerService pointer;
    FakeInput input;
    ASSERT_TRUE(input.isConnected());
    QWidget window;
    ASSERT_NO_FATAL_FAILURE(showAt(window, {200, 150, 300, 200}));
    const QRect before = input.areaOf(window.winId());
    ASSERT_EQ(before, QRect(200, 150, 300, 200));
    const auto earlier = pointer.lastPress().number;
    // Each end, on the main thread, with what lastPress() told then.
    std::vector<platform::PointerService::Press> ended;
    pointer.onPressEnded = [&] {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        ended.push_back(pointer.lastPress());
    };

    input.moveTo({350, 250});
    input.press(1);
    ASSERT_TRUE(test::waitUntil([&] { return pointer.lastPress().number > earlier; }));
    ASSERT_NO_FATAL_FAILURE(moveTo(window, input, {700, 500}));
    EXPECT_TRUE(ended.empty()) << "ended while still held";
    input.release(1);
    ASSERT_TRUE(test::waitUntil([&] { return !ended.empty(); }));

    const auto press = pointer.lastPress();
    ASSERT_TRUE(press.release);
    EXPECT_EQ(press.window, &window);
    EXPECT_EQ(press.location, at({350, 250}));
    EXPECT_EQ(press.area, at(before));
    EXPECT_EQ(press.areaAtRelease, at(QRect(700, 500, 300, 200)));

    // A wheel's turn ends nothing; the next press ends once more.
    input.press(4);
    input.release(4);
    input.press(1);
    input.release(1);
    ASSERT_TRUE(test::waitUntil([&] { return ended.size() >= 2; }));
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].number, press.number);
    EXPECT_EQ(ended[0].areaAtRelease, press.areaAtRelease);
    EXPECT_EQ(ended[1].number, press.number + 1);
    EXPECT_TRUE(ended[1].release);
}

// Keys are numbered with the presses, each with the area of the window of
// ours that had the keyboard, of the last few dozen.
TEST(LinuxPointerServiceTest, KeysAfterANumberComeInOrderWithTheAreaOfTheWindowThatHadTheKeyboard)
{
    test::TestPlatform env;
    LinuxPointerService pointer;
    FakeInput input;
    ASSERT_TRUE(input.isConnected());
    QWidget window;
    ASSERT_NO_FATAL_FAILURE(showAt(window, {100, 100, 240, 160}));
    input.focus(window.winId());
    ASSERT_EQ(input.focused(), window.winId());
    const auto start = pointer.lastKey().number;
    EXPECT_TRUE(pointer.keysAfter(start).empty());

    // A key held while the window moves, as the window manager's move by the keyboard does.
    constexpr std::uint8_t keyA = 38, keyS = 39;
    input.keyDown(keyA);
    ASSERT_TRUE(test::waitUntil([&] { return pointer.keysAfter(start).size() == 1; }));
    ASSERT_NO_FATAL_FAILURE(moveTo(window, input, {500, 400}));
    input.keyUp(keyA);
    input.type(keyS);
    ASSERT_TRUE(test::waitUntil([&] { return pointer.keysAfter(start).size() == 2; }));
    // Then one while nothing of ours has the keyboard.
    input.focus(XCB_INPUT_FOCUS_POINTER_ROOT);
    input.moveTo({1500, 900});
    input.type(keyA);
    ASSERT_TRUE(test::waitUntil([&] { return pointer.keysAfter(start).size() == 3; }));

    const auto keys = pointer.keysAfter(start);
    ASSERT_EQ(keys.size(), 3u);
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i].number, start + 1 + i);
    EXPECT_EQ(keys[0].window, &window);
    EXPECT_EQ(keys[0].area, at(QRect(100, 100, 240, 160)));
    EXPECT_EQ(keys[0].areaAtRelease, at(QRect(500, 400, 240, 160)));
    EXPECT_EQ(keys[1].window, &window);
    EXPECT_EQ(keys[1].area, at(QRect(500, 400, 240, 160)));
    EXPECT_FALSE(keys[2].window);
    EXPECT_FALSE(keys[2].area);
    EXPECT_EQ(pointer.lastKey().number, keys[2].number);
    // Where a stretch began: the keys after the first.
    const auto later = pointer.keysAfter(keys[0].number);
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(later.front().number, keys[1].number);

    // Only the last few dozen are kept, still in order.
    for (std::size_t i = 0; i < LinuxPointerService::keptKeys + 6; ++i)
        input.type(keyS);
    const auto last = keys[2].number + LinuxPointerService::keptKeys + 6;
    ASSERT_TRUE(test::waitUntil([&] { return pointer.lastKey().number == last; }));
    const auto kept = pointer.keysAfter(0);
    ASSERT_EQ(kept.size(), LinuxPointerService::keptKeys);
    EXPECT_EQ(kept.front().number, last - LinuxPointerService::keptKeys + 1);
    EXPECT_EQ(kept.back().number, last);
}

// The service goes at once, its thread waiting for input or amid it.
TEST(LinuxPointerServiceTest, IsDestroyedCleanlyWhileItsThreadWaitsOrReads)
{
    test::TestPlatform env;
    FakeInput input;
    ASSERT_TRUE(input.isConnected());
    for (int round = 0; round < 3; ++round) {
        auto pointer = std::make_unique<LinuxPointerService>();
        pointer->lastPress();
        if (round == 1) {
            input.press(1);
            input.release(1);
        }
        pointer.reset();
    }
    // A new one counts on after its own first call.
    LinuxPointerService pointer;
    EXPECT_EQ(pointer.lastPress().number, 0u);
    input.press(1);
    input.release(1);
    EXPECT_TRUE(test::waitUntil([&] { return pointer.lastPress().release.has_value(); }));
}

} // namespace
