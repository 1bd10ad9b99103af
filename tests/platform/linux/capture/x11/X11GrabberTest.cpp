#include "platform/linux/capture/X11Grabber.h"
#include "support/MovingWindow.h"
#include "support/ScreenPixels.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <optional>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using quorvia::platform::native::X11Grabber;
using quorvia::test::MovingWindow;

namespace {

constexpr std::uint32_t red = 0xff0000;

int redPixels(const QImage& image) { return quorvia::test::ScreenPixels::count(image, QColor(QRgb(red))); }

using Wanted = X11Grabber::Wanted;
using Outcome = X11Grabber::Frame::Outcome;

QRegion region(const std::vector<QRect>& rects)
{
    QRegion out;
    for (const QRect& rect : rects)
        out += rect;
    return out;
}

} // namespace

// The window moves A to B after the events were read, the picture is taken
// with it at B, and it moves on to C with the desktop drawn again at B before
// the events are read once more: the drawing at B came after the picture.
TEST(X11GrabberTest, APlaceLeftAndDrawnAgainAfterTheReadStaysBlankInThatPicture)
{
    const QPoint a(100, 100), b(400, 300), c(800, 500);
    MovingWindow window({a, QSize(120, 80)}, red);
    window.map();
    X11Grabber grabber;
    ASSERT_FALSE(grabber.open(QRect(0, 0, 1920, 1080)));
    const QSet<std::uint32_t> own{window.id()};
    grabber.sync();

    grabber.onGrabbed = [&] {
        window.moveTo(c);
        grabber.sync();
    };
    const auto frame = grabber.takeFrame(own, {}, false, [&](const std::vector<QRect>& before, const auto&) {
        EXPECT_EQ(region(before), QRegion(window.at(a)));
        window.moveTo(b);
        return Wanted::picture;
    });
    ASSERT_EQ(frame.outcome, Outcome::picture);
    ASSERT_FALSE(frame.image.isNull());
    EXPECT_EQ(redPixels(frame.image), 0);
}

// A refused second launch shows its notice from its own process: with this
// application excluded, another launch's window is left out too, while a
// window of a different program (the one that started these tests) is not.
TEST(X11GrabberTest, AnotherLaunchOfThisProgramIsLeftOutWithIt)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        MovingWindow window({200, 200, 120, 80}, red, std::uint32_t(::getpid()));
        window.map();
        (void)!::write(ready[1], "!", 1);
        ::pause();
        ::_exit(0);
    }
    char sign = 0;
    ASSERT_EQ(::read(ready[0], &sign, 1), 1);
    const QRgb green = 0x00ff00;
    MovingWindow other({600, 200, 120, 80}, green, std::uint32_t(::getppid()));
    other.map();
    X11Grabber grabber;
    ASSERT_FALSE(grabber.open(QRect(0, 0, 1920, 1080)));
    const auto frame = grabber.takeFrame({}, {qint64(::getpid())}, false,
                                         [](const auto&, const auto&) { return Wanted::picture; });
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(frame.outcome, Outcome::picture);
    EXPECT_EQ(redPixels(frame.image), 0);
    EXPECT_EQ(quorvia::test::ScreenPixels::count(frame.image, QColor(green)), 120 * 80);
}

// A window of an excluded program appears at A after the events were read and
// is in the picture there; then it moves on before the events are read again.
// Whose it is must be known before its move is taken, or A is not blanked.
TEST(X11GrabberTest, AWindowThatAppearsAndMovesBetweenReadsIsBlankedWhereItAppeared)
{
    const QPoint a(300, 200), b(900, 600);
    const qint64 excluded = 4242424;
    X11Grabber grabber;
    ASSERT_FALSE(grabber.open(QRect(0, 0, 1920, 1080)));
    std::optional<MovingWindow> window;
    grabber.onGrabbed = [&] {
        window->moveTo(b);
        grabber.sync();
    };
    const auto frame = grabber.takeFrame({}, {excluded}, false, [&](const auto&, const auto&) {
        window.emplace(QRect(a, QSize(120, 80)), red, std::uint32_t(excluded));
        window->map();
        return Wanted::picture;
    });
    ASSERT_EQ(frame.outcome, Outcome::picture);
    EXPECT_EQ(redPixels(frame.image), 0);
}

// Where a left-out window stood, the window beneath is asked to draw again;
// the window under the pointer there sees no leave and enter, so what a
// program shows while hovered stays as it is.
TEST(X11GrabberTest, ExposingAPlaceAsksTheWindowBeneathToDrawWithoutCrossingThePointer)
{
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const xcb_window_t beneath = xcb_generate_id(other);
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1,
                                    XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_ENTER_WINDOW
                                        | XCB_EVENT_MASK_LEAVE_WINDOW};
    xcb_create_window(other, XCB_COPY_FROM_PARENT, beneath, screen->root, 200, 200, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(other, beneath);
    xcb_warp_pointer(other, XCB_NONE, screen->root, 0, 0, 0, 0, 350, 300);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(other))
        std::free(event);

    X11Grabber grabber;
    ASSERT_FALSE(grabber.open(QRect(0, 0, 1920, 1080)));
    grabber.exposeBeneath(QRegion(300, 250, 100, 100));
    grabber.sync();
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));

    QRegion exposed;
    int crossings = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(other)) {
        const std::uint8_t type = event->response_type & ~0x80;
        if (type == XCB_EXPOSE) {
            const auto* e = reinterpret_cast<const xcb_expose_event_t*>(event);
            exposed += QRect(e->x, e->y, e->width, e->height);
        }
        crossings += type == XCB_ENTER_NOTIFY || type == XCB_LEAVE_NOTIFY;
        std::free(event);
    }
    EXPECT_EQ(exposed, QRegion(100, 50, 100, 100));
    EXPECT_EQ(crossings, 0);
    xcb_disconnect(other);
}

// A frame holding a larger window moves and shrinks at once, as a window
// manager's frame does while the window inside follows: the server reports
// drawing over the whole of the inner window at its new place, beyond the
// frame, where nothing changed. Over a window that never draws, the private
// picture stays there, and only drawing after the server exposed the place
// may end its blanking.
TEST(X11GrabberTest, DrawingReportedBeforeAPlaceIsExposedLeavesItBlank)
{
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const std::uint32_t undrawnValues[] = {XCB_BACK_PIXMAP_NONE, 1};
    const xcb_window_t undrawn = xcb_generate_id(other);
    xcb_create_window(other, XCB_COPY_FROM_PARENT, undrawn, screen->root, 100, 100, 700, 500, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, undrawnValues);
    const xcb_window_t frame = xcb_generate_id(other);
    xcb_create_window(other, XCB_COPY_FROM_PARENT, frame, screen->root, 200, 200, 220, 172, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, undrawnValues);
    const xcb_window_t inner = xcb_generate_id(other);
    const std::uint32_t redBackground = red;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, inner, frame, 0, 0, 220, 172, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL, &redBackground);
    xcb_map_window(other, undrawn);
    xcb_map_window(other, inner);
    xcb_map_window(other, frame);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));

    X11Grabber grabber;
    ASSERT_FALSE(grabber.open(QRect(0, 0, 1920, 1080)));
    const QSet<std::uint32_t> own{frame};
    const std::uint32_t place[] = {204, 203, 175, 140};
    xcb_configure_window(other, frame,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH
                             | XCB_CONFIG_WINDOW_HEIGHT,
                         place);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    grabber.sync();

    const auto picture = grabber.takeFrame(own, {}, false, [](const auto&, const auto&) { return Wanted::picture; });
    ASSERT_EQ(picture.outcome, Outcome::picture);
    EXPECT_EQ(redPixels(picture.image), 0);
    xcb_disconnect(other);
}
