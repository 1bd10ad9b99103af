#include "platform/Platform.h"
#include "platform/ScreenSpace.h"
#include "platform/Window.h"
#include "platform/linux/LinuxCaptureService.h"
#include "platform/linux/QtDisplayService.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <gtest/gtest.h>

using namespace quorvia;
using namespace quorvia::platform;

// Runs on the private test X server.
class LinuxCaptureServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(native::LinuxCaptureService::isAvailable());
        env.platform().displayService = std::make_shared<native::QtDisplayService>();
    }

    void settle(int ms = 300)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
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
};

TEST_F(LinuxCaptureServiceTest, OurWindowsAreBlankedWhenExcludedAndSeenOtherwise)
{
    Window window(Rect(0, 0, 200, 150), WindowStyle::borderless);
    window.setBackgroundColor(Qt::red);
    window.setFrame(fromQtGlobal(QRectF(100, 100, 200, 150)));
    window.orderFront();
    settle();

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
