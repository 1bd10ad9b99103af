#include "platform/Platform.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "platform/linux/capture/LinuxCaptureService.h"
#include "platform/linux/displays/QtDisplayService.h"
#include "platform/linux/capture/X11CaptureStream.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/ScreenPixels.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace quorvia;
using namespace quorvia::platform;
using quorvia::test::ScreenPixels;

// The real extension query, on the private test X server.
TEST(LinuxCaptureServiceServerTest, AnXvfbServerIsNotXWayland)
{
    EXPECT_TRUE(native::LinuxCaptureService::serverHasExtension("RANDR"));
    EXPECT_TRUE(native::LinuxCaptureService::serverHasExtension("MIT-SHM"));
    EXPECT_FALSE(native::LinuxCaptureService::serverHasExtension("XWAYLAND"));
    EXPECT_TRUE(native::LinuxCaptureService::isAvailable());
}

// Runs on the private test X server.
class LinuxCaptureServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(native::LinuxCaptureService::isAvailable());
        env.platform().displayService = std::make_shared<native::QtDisplayService>();
    }

    void settle(int ms = 300) { test::runEventsFor(ms); }
    // Gives a window one colour and shows it with its top left at `at`.
    static void showAt(Window& window, QColor colour, QPointF at)
    {
        window.setBackgroundColor(colour);
        window.setFrame(fromQtGlobal(QRectF(at, QSizeF(window.frame().width(), window.frame().height()))));
        window.orderFront();
    }

    // Until the server shows the colour at a point of the root window: what
    // was drawn there has reached the screen, and the damage it made was sent
    // to the capture's connection before this answer. Then a moment for the
    // capture's socket to be noticed.
    void settleOnScreen(QPoint at, QColor colour)
    {
        EXPECT_TRUE(test::waitUntil([&] { return shown.at(at) == colour; })) << "at " << at.x() << "," << at.y();
        settle(30);
    }

    // One frame of the first display with our own application excluded or not.
    QImage captureOnce(bool excludeOwn, bool showsCursor = false, std::function<void()> betweenTickAndGrab = {})
    {
        native::LinuxCaptureService service;
        std::optional<ShareableContent> content;
        service.shareableContent(false, false, [&](std::expected<ShareableContent, CaptureError> reply) {
            ASSERT_TRUE(reply.has_value());
            content = *reply;
        });
        env.scheduler().drainQueues();
        EXPECT_TRUE(content);
        if (!content || content->displays.empty())
            return {};
        ContentFilter filter{content->displays.front(), {}};
        for (const auto& app : content->applications)
            if (excludeOwn && app.processID == QCoreApplication::applicationPid())
                filter.excludedApplications.push_back(app);
        StreamConfiguration config;
        config.width = filter.display.width;
        config.height = filter.display.height;
        config.minimumFrameInterval = {1, 30};
        config.showsCursor = showsCursor;
        auto stream = service.makeStream(filter, config, [](StreamID, CaptureError error) {
            ADD_FAILURE() << description(error).toStdString();
        });
        QImage frame;
        EXPECT_TRUE(stream->addStreamOutput(StreamOutputType::screen, SerialQueue(QStringLiteral("out")),
                                            [&](StreamID, const SampleBuffer& buffer, StreamOutputType) {
                                                frame = buffer.image;
                                            }));
        bool started = false;
        stream->startCapture([&](std::optional<CaptureError> error) { started = !error; });
        env.scheduler().drainQueues();
        env.scheduler().runPending();
        EXPECT_TRUE(started);
        env.scheduler().advance(1.0 / 30.0);
        if (betweenTickAndGrab)
            betweenTickAndGrab();
        env.scheduler().settle(); // grab, check on the main queue, hand over
        stream->stopCapture({});
        env.scheduler().settle();
        return frame;
    }

    test::TestPlatform env;
    ScreenPixels shown;
};

TEST_F(LinuxCaptureServiceTest, OurWindowsAreBlankedWhenExcludedAndSeenOtherwise)
{
    Window window(Rect(0, 0, 200, 150), WindowStyle::borderless);
    showAt(window, Qt::red, {100, 100});
    settleOnScreen({200, 175}, Qt::red);

    const QImage included = captureOnce(false);
    ASSERT_FALSE(included.isNull());
    EXPECT_EQ(included.pixelColor(200, 175), QColor(Qt::red));

    const QImage excluded = captureOnce(true);
    ASSERT_FALSE(excluded.isNull());
    EXPECT_EQ(excluded.pixelColor(200, 175), QColor(Qt::black));

    // Left out of capture on its own account, even while the application is shared.
    window.setSharingType(SharingType::none);
    const QImage privateWindow = captureOnce(false);
    ASSERT_FALSE(privateWindow.isNull());
    EXPECT_EQ(privateWindow.pixelColor(200, 175), QColor(Qt::black));
}

TEST_F(LinuxCaptureServiceTest, TheCursorIsDrawnOnlyWhenAskedFor)
{
    const QImage without = captureOnce(false, false);
    const QImage with = captureOnce(false, true);
    ASSERT_FALSE(without.isNull());
    ASSERT_FALSE(with.isNull());
    EXPECT_NE(without, with);
}

TEST_F(LinuxCaptureServiceTest, AFrameTakenWhileAPrivateWindowAppearsIsDropped)
{
    Window late(Rect(0, 0, 120, 80), WindowStyle::borderless);
    late.setSharingType(SharingType::none);
    const QImage frame = captureOnce(false, false, [&] { late.orderFront(); });
    EXPECT_TRUE(frame.isNull());
}

// One stream of the first display kept running; each step is one clock tick.
class RunningCaptureTest : public LinuxCaptureServiceTest {
protected:
    void SetUp() override
    {
        LinuxCaptureServiceTest::SetUp();
        std::optional<ShareableContent> content;
        service.shareableContent(false, false, [&](std::expected<ShareableContent, CaptureError> reply) {
            content = reply.value_or(ShareableContent{});
        });
        env.scheduler().drainQueues();
        ASSERT_TRUE(content && !content->displays.empty());
        StreamConfiguration config;
        config.width = content->displays.front().width;
        config.height = content->displays.front().height;
        config.minimumFrameInterval = {1, 30};
        config.showsCursor = false;
        stream = service.makeStream({content->displays.front(), {}}, config, [this](StreamID, CaptureError) {
            stoppedWithError = true;
        });
        ASSERT_NO_FATAL_FAILURE(startCollecting());
    }
    // Starts `stream`, every frame it delivers going into `frames`.
    void startCollecting()
    {
        ASSERT_TRUE(stream->addStreamOutput(StreamOutputType::screen, SerialQueue(QStringLiteral("out")),
                                            [this](StreamID, const SampleBuffer& buffer, StreamOutputType) {
                                                frames.push_back(buffer);
                                            }));
        bool started = false;
        stream->startCapture([&](std::optional<CaptureError> error) { started = !error; });
        env.scheduler().settle();
        ASSERT_TRUE(started);
    }
    void TearDown() override
    {
        if (stream)
            stream->stopCapture({});
        env.scheduler().settle();
    }

    // The frames one tick delivers.
    std::vector<SampleBuffer> tick()
    {
        frames.clear();
        env.scheduler().advance(1.0 / 30.0);
        env.scheduler().settle();
        return std::move(frames);
    }
    std::vector<QImage> pictures(const std::vector<SampleBuffer>& buffers)
    {
        std::vector<QImage> out;
        for (const auto& b : buffers)
            if (b.frameStatus == int(FrameStatus::complete) && b.hasImage())
                out.push_back(b.image);
        return out;
    }

    native::LinuxCaptureService service;
    std::shared_ptr<CaptureStream> stream;
    std::vector<SampleBuffer> frames;
    bool stoppedWithError = false;
};

TEST_F(RunningCaptureTest, APrivateWindowIsNeverSeenWhileItAppearsMovesOrGoesAway)
{
    const QRgb red = qRgb(255, 0, 0);
    const QRgb green = qRgb(0, 255, 0);
    Window shared(Rect(0, 0, 300, 200), WindowStyle::borderless);
    showAt(shared, QColor(green), {40, 40});
    Window secret(Rect(0, 0, 240, 160), WindowStyle::borderless);
    secret.setSharingType(SharingType::none);
    secret.setBackgroundColor(QColor(red));
    // Another client's window that never draws itself again: what lies on it
    // stays on screen after it has moved away.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const xcb_window_t undrawn = xcb_generate_id(other);
    const std::uint32_t noBackground = XCB_BACK_PIXMAP_NONE;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, undrawn, screen->root, 600, 600, 400, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXMAP, &noBackground);
    xcb_map_window(other, undrawn);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    settleOnScreen({190, 140}, QColor(green));

    int seen = 0;
    auto check = [&](const char* step) {
        for (const QImage& picture : pictures(tick())) {
            ++seen;
            EXPECT_EQ(ScreenPixels::count(picture, red), 0) << step;
            EXPECT_GT(ScreenPixels::count(picture, green), 0) << step;
        }
    };
    check("before");
    // Each change lands between two ticks, with the server told and not waited for.
    const QPointF places[] = {{400, 300}, {60, 60}, {650, 650}, {1700, 900}, {900, 100}};
    secret.setFrame(fromQtGlobal(QRectF(places[0], QSizeF(240, 160))));
    secret.orderFront();
    QCoreApplication::processEvents();
    check("appeared");
    for (const QPointF& place : places) {
        secret.setFrame(fromQtGlobal(QRectF(place, QSizeF(240, 160))));
        QCoreApplication::processEvents();
        check("moved");
        settle(30);
        check("settled");
    }
    secret.orderOut();
    QCoreApplication::processEvents();
    check("gone");
    secret.orderFront();
    secret.setFrame(fromQtGlobal(QRectF(200, 200, 240, 160)));
    QCoreApplication::processEvents();
    check("back");
    settle(30);
    check("back settled");
    // How many changes reach the server before their tick is the scheduler's
    // business; the first tick always gives a picture.
    EXPECT_GE(seen, 1);
    EXPECT_FALSE(stoppedWithError);
    xcb_disconnect(other);
}

TEST_F(RunningCaptureTest, AStillScreenIsNotGrabbedAgainButStaysAlive)
{
    Window window(Rect(0, 0, 200, 100), WindowStyle::borderless);
    showAt(window, Qt::blue, {100, 100});
    settleOnScreen({200, 150}, Qt::blue);
    tick();
    tick();

    // A second of a still screen: no picture, but idle frames twice a second.
    int pictureCount = 0;
    int idle = 0;
    for (int i = 0; i < 30; ++i)
        for (const auto& frame : tick()) {
            pictureCount += frame.frameStatus == int(FrameStatus::complete);
            idle += frame.frameStatus == int(FrameStatus::idle);
        }
    EXPECT_EQ(pictureCount, 0);
    EXPECT_GE(idle, 1);
    EXPECT_LE(idle, 3);

    // A change on screen is grabbed at the next tick, and said to be there.
    window.setBackgroundColor(Qt::yellow);
    window.update();
    settleOnScreen({200, 150}, Qt::yellow);
    const auto buffers = tick();
    const auto changed = pictures(buffers);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed.front().pixelColor(150, 150), QColor(Qt::yellow));
    const SampleBuffer& picture = *std::find_if(buffers.begin(), buffers.end(),
                                                [](const SampleBuffer& b) { return b.hasImage(); });
    ASSERT_TRUE(picture.dirtyRegion.has_value());
    EXPECT_TRUE(picture.dirtyRegion->contains(QRect(100, 100, 200, 100)));
    EXPECT_LT(picture.dirtyRegion->boundingRect().width() * picture.dirtyRegion->boundingRect().height(),
              changed.front().width() * changed.front().height() / 10);
    EXPECT_GT(picture.sequence, 0u);
}

namespace {
struct Counts {
    int pictures = 0;
    int idle = 0;
};
Counts count(const std::vector<SampleBuffer>& frames)
{
    Counts c;
    for (const auto& frame : frames) {
        c.pictures += frame.frameStatus == int(FrameStatus::complete) && frame.hasImage();
        c.idle += frame.frameStatus == int(FrameStatus::idle);
    }
    return c;
}
} // namespace

TEST_F(RunningCaptureTest, RepaintsOfPrivateWindowsAloneAreNotGrabbedButTheirMovesAre)
{
    const QRgb red = qRgb(255, 0, 0);
    Window shared(Rect(0, 0, 300, 200), WindowStyle::borderless);
    showAt(shared, Qt::green, {40, 40});
    Window secret(Rect(0, 0, 240, 160), WindowStyle::borderless);
    secret.setSharingType(SharingType::none);
    showAt(secret, QColor(red), {500, 400});
    settleOnScreen({190, 140}, Qt::green);
    settleOnScreen({620, 480}, QColor(red));
    tick();
    tick();

    // A second of the private window repainting as a scrolling prompter does.
    Counts repainting;
    for (int i = 0; i < 30; ++i) {
        secret.setBackgroundColor(i % 2 ? QColor(red) : QColor(Qt::magenta));
        secret.update();
        settle(5);
        const Counts c = count(tick());
        repainting.pictures += c.pictures;
        repainting.idle += c.idle;
    }
    EXPECT_EQ(repainting.pictures, 0);
    EXPECT_GE(repainting.idle, 1) << "the stream stays alive for the heartbeat";

    // A move changes what is blanked: grabbed, blank where it was and is,
    // and both places repainted.
    secret.setFrame(fromQtGlobal(QRectF(900, 300, 240, 160)));
    settleOnScreen({1020, 380}, QColor(red));
    const auto movedBuffers = tick();
    const auto moved = pictures(movedBuffers);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(ScreenPixels::count(moved.front(), red), 0);
    EXPECT_EQ(moved.front().pixelColor(1000, 380), QColor(Qt::black));
    for (const auto& buffer : movedBuffers)
        if (buffer.hasImage() && buffer.dirtyRegion) {
            EXPECT_TRUE(buffer.dirtyRegion->contains(QRect(500, 400, 240, 160)));
            EXPECT_TRUE(buffer.dirtyRegion->contains(QRect(900, 300, 240, 160)));
        }

    // A repaint half on a shared window is a change of the picture.
    secret.setFrame(fromQtGlobal(QRectF(200, 100, 240, 160)));
    settleOnScreen({320, 180}, QColor(red));
    tick();
    tick();
    shared.setBackgroundColor(Qt::yellow);
    shared.update();
    settleOnScreen({60, 60}, Qt::yellow);
    const auto sharedChange = pictures(tick());
    ASSERT_EQ(sharedChange.size(), 1u);
    EXPECT_EQ(sharedChange.front().pixelColor(60, 60), QColor(Qt::yellow));
    EXPECT_EQ(ScreenPixels::count(sharedChange.front(), red), 0);
    EXPECT_FALSE(stoppedWithError);
}

TEST_F(RunningCaptureTest, ChangesOutsideTheCapturedScreenAreNotGrabbed)
{
    // The left half of the server's root stands for the laptop's screen; the
    // right half for another output, where the audience window repaints.
    stream->stopCapture({});
    env.scheduler().settle();
    StreamConfiguration config;
    config.width = 960;
    config.height = 1080;
    config.minimumFrameInterval = {1, 30};
    config.showsCursor = false;
    stream = std::make_shared<native::X11CaptureStream>(
        ContentFilter{}, config, QRect(0, 0, 960, 1080), 1.0, QCoreApplication::applicationPid(),
        [this](StreamID, CaptureError) { stoppedWithError = true; });
    ASSERT_NO_FATAL_FAILURE(startCollecting());

    Window elsewhere(Rect(0, 0, 400, 300), WindowStyle::borderless);
    showAt(elsewhere, Qt::blue, {1200, 200});
    Window here(Rect(0, 0, 200, 100), WindowStyle::borderless);
    showAt(here, Qt::blue, {100, 100});
    settleOnScreen({200, 150}, Qt::blue);
    settleOnScreen({1400, 350}, Qt::blue);
    ASSERT_EQ(pictures(tick()).size(), 1u);
    tick();

    Counts outside;
    for (int i = 0; i < 30; ++i) {
        elsewhere.setBackgroundColor(i % 2 ? QColor(Qt::blue) : QColor(Qt::cyan));
        elsewhere.update();
        settle(5);
        const Counts c = count(tick());
        outside.pictures += c.pictures;
        outside.idle += c.idle;
    }
    EXPECT_EQ(outside.pictures, 0);
    EXPECT_GE(outside.idle, 1);

    here.setBackgroundColor(Qt::yellow);
    here.update();
    settleOnScreen({200, 150}, Qt::yellow);
    const auto inside = pictures(tick());
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside.front().size(), QSize(960, 1080));
    EXPECT_EQ(inside.front().pixelColor(150, 150), QColor(Qt::yellow));
    EXPECT_FALSE(stoppedWithError);
}

TEST_F(RunningCaptureTest, AChangeIsGrabbedWhenItsDamageArrivesNotAtTheNextClockTick)
{
    Window window(Rect(0, 0, 200, 100), WindowStyle::borderless);
    window.setSharingType(SharingType::readOnly);
    showAt(window, Qt::blue, {100, 100});
    settleOnScreen({200, 150}, Qt::blue);
    tick();
    tick();
    tick();

    // The damage wakes the stream; a quarter of the frame interval later the
    // picture is there, while the clock's next tick is still far off.
    window.setBackgroundColor(Qt::yellow);
    window.update();
    settleOnScreen({200, 150}, Qt::yellow);
    frames.clear();
    env.scheduler().advance(1.0 / 120.0);
    env.scheduler().settle();
    const auto changed = pictures(frames);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed.front().pixelColor(150, 150), QColor(Qt::yellow));
    EXPECT_FALSE(stoppedWithError);
}

// Pictures after the first are read again only where the screen changed and
// blanked only where they are not black already: every one of them must still
// be black wherever a private window is, and whole and up to date elsewhere.
TEST_F(RunningCaptureTest, PicturesReadInPartsStayBlackOverPrivateWindowsAndShowEveryOtherChange)
{
    const QRgb reds[] = {qRgb(255, 0, 0), qRgb(250, 0, 0)};
    const QRgb blue = qRgb(0, 0, 255);
    const QRgb shades[] = {qRgb(0, 255, 0), qRgb(0, 200, 0), qRgb(0, 150, 0)};
    Window shared(Rect(0, 0, 300, 200), WindowStyle::borderless);
    shared.setFrame(fromQtGlobal(QRectF(40, 40, 300, 200)));
    shared.setBackgroundColor(QColor(shades[0]));
    shared.orderFront();
    // One private window repaints itself all the time, another moves.
    Window drawing(Rect(0, 0, 240, 160), WindowStyle::borderless);
    drawing.setSharingType(SharingType::none);
    drawing.setFrame(fromQtGlobal(QRectF(500, 60, 240, 160)));
    drawing.setBackgroundColor(QColor(reds[0]));
    drawing.orderFront();
    Window moving(Rect(0, 0, 200, 120), WindowStyle::borderless);
    moving.setSharingType(SharingType::none);
    moving.setFrame(fromQtGlobal(QRectF(100, 500, 200, 120)));
    moving.setBackgroundColor(QColor(blue));
    moving.orderFront();
    settleOnScreen({190, 140}, QColor(shades[0]));
    settleOnScreen({620, 140}, QColor(reds[0]));
    settleOnScreen({200, 560}, QColor(blue));

    int seen = 0;
    for (int step = 0; step < 30; ++step) {
        shared.setBackgroundColor(QColor(shades[step % 3]));
        drawing.setBackgroundColor(QColor(reds[step % 2]));
        moving.setFrame(fromQtGlobal(QRectF(100 + 13 * step, 500 + 7 * step, 200, 120)));
        QCoreApplication::processEvents();
        settle(20);
        for (const QImage& picture : pictures(tick())) {
            ++seen;
            const auto isPrivate = [&](QRgb p) { return p == reds[0] || p == reds[1] || p == blue; };
            ASSERT_EQ(ScreenPixels::countWhere(picture, isPrivate), 0) << "step " << step;
            // The shared window in one of its shades, never parts of two.
            const QImage window = picture.copy(40, 40, 300, 200);
            ASSERT_TRUE(std::any_of(std::begin(shades), std::end(shades),
                                    [&](QRgb shade) { return ScreenPixels::count(window, shade) == 300 * 200; }))
                << "step " << step;
        }
    }
    // Once the screen is still, the picture shows it as it is now.
    settleOnScreen({190, 140}, QColor(shades[29 % 3]));
    for (int i = 0; i < 3; ++i)
        for (const QImage& picture : pictures(tick()))
            EXPECT_EQ(ScreenPixels::count(picture.copy(40, 40, 300, 200), shades[29 % 3]), 300 * 200);
    // How many steps reach the server before their tick is the scheduler's
    // business; the first tick always gives a picture.
    EXPECT_GE(seen, 1);
    EXPECT_FALSE(stoppedWithError);
}

// A screen still for a while is not looked at thirty times a second: the
// clock slows to the idle frames, which keep the stream alive, and a change
// or a private window's move is grabbed as soon as the server tells of it.
TEST_F(RunningCaptureTest, AfterAStillWhileChangesAndMovesAreStillGrabbedAtOnceAndIdleFramesGoOn)
{
    const QRgb red = qRgb(255, 0, 0);
    Window shared(Rect(0, 0, 200, 100), WindowStyle::borderless);
    shared.setSharingType(SharingType::readOnly);
    showAt(shared, Qt::blue, {100, 100});
    Window secret(Rect(0, 0, 240, 160), WindowStyle::borderless);
    secret.setSharingType(SharingType::none);
    showAt(secret, QColor(red), {600, 300});
    settleOnScreen({200, 150}, Qt::blue);
    settleOnScreen({720, 380}, QColor(red));

    // The picture a wake by the server's word brings, before the clock's next
    // tick, once the server shows the change.
    auto woken = [&](QPoint at, QColor colour) {
        settleOnScreen(at, colour);
        frames.clear();
        env.scheduler().advance(1.0 / 120.0);
        env.scheduler().settle();
        return pictures(frames);
    };
    // Well past the time after which a screen counts as still.
    auto stayStill = [&] {
        Counts c;
        for (int i = 0; i < 90; ++i) {
            const Counts one = count(tick());
            c.pictures += one.pictures;
            c.idle += one.idle;
        }
        return c;
    };
    for (int i = 0; i < 3; ++i)
        tick();
    const Counts still = stayStill();
    EXPECT_EQ(still.pictures, 0);
    EXPECT_GE(still.idle, 2) << "the idle frames stopped";

    for (const QColor colour : {QColor(Qt::yellow), QColor(Qt::cyan)}) {
        shared.setBackgroundColor(colour);
        shared.update();
        const auto changed = woken({200, 150}, colour);
        ASSERT_EQ(changed.size(), 1u);
        EXPECT_EQ(changed.front().pixelColor(150, 150), colour);
        EXPECT_EQ(ScreenPixels::count(changed.front(), red), 0);
        EXPECT_GE(stayStill().idle, 2);
    }
    // A private window that moves after a still while: blank where it is.
    secret.setFrame(fromQtGlobal(QRectF(900, 500, 240, 160)));
    QCoreApplication::processEvents();
    auto moved = woken({1020, 580}, QColor(red));
    for (int i = 0; i < 3; ++i)
        for (const QImage& picture : pictures(tick()))
            moved.push_back(picture);
    ASSERT_FALSE(moved.empty()) << "the move was not grabbed";
    for (const QImage& picture : moved) {
        EXPECT_EQ(ScreenPixels::count(picture, red), 0);
        EXPECT_EQ(picture.pixelColor(950, 550), QColor(Qt::black));
    }
    EXPECT_FALSE(stoppedWithError);
}

namespace {
// The root window painted in one colour for the test's length, black after.
class PaintedDesktop {
public:
    explicit PaintedDesktop(QRgb colour) : c_(xcb_connect(nullptr, nullptr))
    {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        paint(colour & 0xffffff);
    }
    ~PaintedDesktop()
    {
        paint(0);
        xcb_disconnect(c_);
    }
private:
    void paint(std::uint32_t pixel)
    {
        xcb_change_window_attributes(c_, root_, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(c_, 0, root_, 0, 0, 0, 0);
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};
} // namespace

// A private window cut to an ellipse that folds in steps, each cut anew,
// never covered the corners of the rectangles it passed through: once it has
// gone they show the desktop again, while where it lay over a window that never
// redraws stays black, since the private picture is still on screen there.
// While it stands, its whole rectangle is black.
TEST_F(RunningCaptureTest, TheCornersOfAShapedPrivateWindowShowTheDesktopOnceItFoldsAwayAndItsPictureStaysBlank)
{
    const QRgb red = qRgb(255, 0, 0);
    const QRgb black = qRgb(0, 0, 0);
    const QRgb desktop = qRgb(0, 64, 64);
    PaintedDesktop painted(desktop);
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    const xcb_window_t undrawn = xcb_generate_id(other);
    const std::uint32_t noBackground = XCB_BACK_PIXMAP_NONE;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, undrawn, screen->root, 600, 500, 400, 400, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXMAP, &noBackground);
    xcb_map_window(other, undrawn);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));

    // Most of it over the desktop, its right edge over the undrawn window.
    const QRect place(360, 560, 400, 300);
    const QRect overDesktop(place.left(), place.top(), 600 - place.left(), place.height());
    Window secret(Rect(0, 0, 400, 300), WindowStyle::borderless);
    secret.setSharingType(SharingType::none);
    secret.setBackgroundColor(QColor(red));
    secret.setFrame(fromQtGlobal(QRectF(place)));
    // Cut to its shape by the window itself: nothing composites on the test server.
    secret.setShape({WindowShape::Kind::ellipse});
    secret.orderFront();
    const QPoint corner = place.topLeft() + QPoint(3, 3);
    const QPoint shapeOverUndrawn(700, place.center().y());
    ASSERT_TRUE(test::waitUntil([&] {
        return shown.at(corner) == desktop && shown.at(shapeOverUndrawn) == red;
    })) << "the window is not up, cut to its shape";

    int seen = 0;
    auto check = [&](const QImage& picture) {
        ++seen;
        EXPECT_EQ(ScreenPixels::count(picture, red), 0);
        EXPECT_EQ(picture.pixel(shapeOverUndrawn), black);
    };
    for (int i = 0; i < 3; ++i)
        for (const QImage& picture : pictures(tick())) {
            check(picture);
            EXPECT_EQ(picture.pixel(corner), black);
            EXPECT_EQ(ScreenPixels::count(picture.copy(place), black), place.width() * place.height());
        }
    EXPECT_GE(seen, 1);

    // Folds towards its top left as an animation does, cut anew at each size.
    for (int step = 1; step <= 10; ++step) {
        const QRect frame(place.left() + 8 * step, place.top() + 6 * step, place.width() - 30 * step,
                          place.height() - 22 * step);
        secret.setFrame(fromQtGlobal(QRectF(frame)));
        QCoreApplication::processEvents();
        settle(16);
        for (const QImage& picture : pictures(tick()))
            check(picture);
    }
    secret.setFrame(fromQtGlobal(QRectF(60, 60, 100, 80)));
    QCoreApplication::processEvents();
    ASSERT_TRUE(test::waitUntil([&] {
        return shown.at(corner) == desktop && shown.at(overDesktop.center()) == desktop;
    }));
    ASSERT_EQ(shown.at(shapeOverUndrawn), red)
        << "the undrawn window no longer holds the private picture";

    QImage last;
    const auto notDesktop = [&] {
        return overDesktop.width() * overDesktop.height() - ScreenPixels::count(last.copy(overDesktop), desktop);
    };
    const bool returned = test::waitUntil([&] {
        for (const QImage& picture : pictures(tick())) {
            check(picture);
            last = picture;
        }
        return !last.isNull() && notDesktop() == 0;
    });
    EXPECT_TRUE(returned) << "the capture shows " << notDesktop()
                          << " pixels where the window passed over the desktop otherwise than the desktop";
    EXPECT_FALSE(stoppedWithError);
    xcb_disconnect(other);
}

// Another client moves a private window in small steps a few hundred
// microseconds apart while the stream runs flat out: whatever order the
// server moves it, draws where it was and tells the capture, no delivered
// picture holds any of it.
TEST_F(RunningCaptureTest, APrivateWindowMovedFastByAnotherClientNeverReachesAPicture)
{
    const QRgb red = qRgb(255, 0, 0);
    Window secret(Rect(0, 0, 120, 80), WindowStyle::borderless);
    secret.setSharingType(SharingType::none);
    showAt(secret, QColor(red), {100, 100});
    settleOnScreen({160, 140}, QColor(red));
    tick();

    std::atomic<bool> moving{true};
    std::thread mover([&moving, id = std::uint32_t(secret.winId())] {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        int x = 100;
        int step = 7;
        while (moving) {
            x += step;
            if (x < 100 || x > 1600)
                step = -step;
            const std::uint32_t place[] = {std::uint32_t(x), std::uint32_t(100 + x / 3)};
            xcb_configure_window(c, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
            xcb_flush(c);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_disconnect(c);
    });
    int seen = 0;
    int leaked = 0;
    int worst = 0;
    QElapsedTimer timer;
    timer.start();
    // A loaded machine delivers few pictures while the window never rests, so
    // the moves go on until enough pictures were judged, or as only a hang needs.
    while (timer.elapsed() < 3000 || (seen < 30 && timer.elapsed() < 60000))
        for (const QImage& picture : pictures(tick())) {
            ++seen;
            const int n = ScreenPixels::count(picture, red);
            leaked += n > 0;
            worst = std::max(worst, n);
        }
    moving = false;
    mover.join();
    EXPECT_GE(seen, 30);
    EXPECT_EQ(leaked, 0) << "of " << seen << " pictures; the worst held " << worst << " private pixels";
    EXPECT_FALSE(stoppedWithError);
}
