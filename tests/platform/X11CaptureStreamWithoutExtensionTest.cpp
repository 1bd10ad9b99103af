#include "platform/linux/X11CaptureStream.h"
#include "support/ScreenPixels.h"
#include "support/TestPlatform.h"
#include "support/XServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

using namespace quorvia;
using namespace quorvia::platform;

namespace {

const QRgb red = qRgb(255, 0, 0);
const QRgb green = qRgb(0, 255, 0);
constexpr qint64 excludedProcess = 4242424;

// Windows the server paints itself, one of them the excluded program's.
class Windows {
public:
    Windows() : c_(xcb_connect(nullptr, nullptr)) {}
    ~Windows() { xcb_disconnect(c_); }
    xcb_window_t add(const QRect& frame, QRgb colour, std::uint32_t processID = 0)
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_window_t id = xcb_generate_id(c_);
        const std::uint32_t values[] = {colour & 0xffffff, 1};
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, id, screen->root, std::int16_t(frame.x()), std::int16_t(frame.y()),
                          std::uint16_t(frame.width()), std::uint16_t(frame.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        auto* atom = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, 11, "_NET_WM_PID"), nullptr);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, id, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &processID);
        std::free(atom);
        xcb_map_window(c_, id);
        sync();
        return id;
    }
    void moveTo(xcb_window_t id, QPoint at)
    {
        const std::uint32_t values[] = {std::uint32_t(at.x()), std::uint32_t(at.y())};
        xcb_configure_window(c_, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        sync();
    }

private:
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }
    xcb_connection_t* c_;
};

} // namespace

class X11CaptureStreamWithoutExtensionTest : public ::testing::TestWithParam<const char*> {};

// Without shared memory the pictures come from plain image requests, without
// XFixes without the cursor, without DAMAGE with every place the excluded
// window left blank for good.
TEST_P(X11CaptureStreamWithoutExtensionTest, TheStreamDeliversPicturesWithoutTheExcludedWindow)
{
    test::XServer server({"-extension", GetParam()});
    ASSERT_FALSE(server.name().isEmpty());
    // The grab connection opens the display DISPLAY names; the rest of the process runs offscreen.
    const QByteArray was = qgetenv("DISPLAY");
    qputenv("DISPLAY", server.name().toLocal8Bit());
    const std::shared_ptr<void> restore(nullptr, [&](void*) { qputenv("DISPLAY", was); });
    test::TestPlatform env;
    Windows windows;
    windows.add({0, 0, 1920, 1080}, green);
    const xcb_window_t secret = windows.add({100, 100, 240, 160}, red, excludedProcess);

    const StreamConfiguration config{.width = 1920, .height = 1080, .minimumFrameInterval = {1, 30}};
    ContentFilter filter{{1, 1920, 1080, Rect(0, 0, 1920, 1080)}, {{{}, {}, excludedProcess}}};
    bool stopped = false;
    auto stream = std::make_shared<native::X11CaptureStream>(filter, config, QRect(0, 0, 1920, 1080), 1.0,
                                                             QCoreApplication::applicationPid(),
                                                             [&](StreamID, CaptureError) { stopped = true; });
    std::vector<QImage> pictures;
    ASSERT_TRUE(stream->addStreamOutput(StreamOutputType::screen, SerialQueue(QStringLiteral("out")),
                                        [&](StreamID, const SampleBuffer& buffer, StreamOutputType) {
                                            if (buffer.hasImage())
                                                pictures.push_back(buffer.image);
                                        }));
    bool started = false;
    stream->startCapture([&](std::optional<CaptureError> error) { started = !error; });
    env.scheduler().settle();
    ASSERT_TRUE(started);

    const QPoint places[] = {{100, 100}, {700, 500}, {1500, 200}, {300, 800}};
    for (const QPoint& place : places) {
        windows.moveTo(secret, place);
        env.scheduler().advance(1.0 / 30.0);
        env.scheduler().settle();
    }
    stream->stopCapture({});
    env.scheduler().settle();
    EXPECT_FALSE(stopped);
    ASSERT_EQ(pictures.size(), std::size(places));
    for (const QImage& picture : pictures) {
        EXPECT_EQ(test::ScreenPixels::count(picture, red), 0);
        EXPECT_GT(test::ScreenPixels::count(picture, green), 1920 * 1080 / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, X11CaptureStreamWithoutExtensionTest, ::testing::Values("MIT-SHM", "XFIXES", "DAMAGE"),
                         [](const auto& info) { return std::string(info.param) == "MIT-SHM" ? "MITSHM" : info.param; });
