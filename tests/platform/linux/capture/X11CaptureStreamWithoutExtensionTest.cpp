#include "platform/linux/capture/X11CaptureStream.h"
#include "support/MovingWindow.h"
#include "support/QtPrinting.h"
#include "support/ScreenPixels.h"
#include "support/TestPlatform.h"
#include "support/XServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia;
using namespace quorvia::platform;

namespace {

const QRgb red = qRgb(255, 0, 0);
const QRgb green = qRgb(0, 255, 0);
constexpr qint64 excludedProcess = 4242424;

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
    test::MovingWindow desktop({0, 0, 1920, 1080}, green);
    test::MovingWindow secret({100, 100, 240, 160}, red, std::uint32_t(excludedProcess));
    desktop.map();
    secret.map();

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
        secret.moveTo(place);
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
