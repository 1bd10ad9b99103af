#include "platform/VideoSurface.h"

#include "support/TestPlatform.h"

#include <gtest/gtest.h>

using namespace quorvia::platform;

namespace {
SampleBuffer frame(int w, int h, QColor color = Qt::red)
{
    SampleBuffer buffer;
    buffer.frameStatus = 0;
    buffer.image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    buffer.image.fill(color);
    return buffer;
}
} // namespace

TEST(VideoSurface, FitsThePictureByAspectOnBlack)
{
    VideoSurface surface;
    surface.resize(400, 100);
    surface.enqueue(frame(200, 100));
    EXPECT_EQ(surface.status(), VideoSurface::Status::rendering);
    EXPECT_EQ(surface.contentRect(), QRectF(100, 0, 200, 100));

    const QImage shot = surface.grab().toImage();
    EXPECT_EQ(shot.pixelColor(50, 50), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(200, 50), QColor(Qt::red));
}

TEST(VideoSurface, UndrawableFrameFailsTheRendererUntilFlushed)
{
    quorvia::test::TestPlatform platform;
    VideoSurface surface;
    surface.resize(100, 100);
    EXPECT_EQ(surface.status(), VideoSurface::Status::unknown);
    surface.enqueue(frame(10, 10));
    SampleBuffer empty;
    surface.enqueue(empty);
    EXPECT_EQ(surface.status(), VideoSurface::Status::failed);
    // A failed renderer ignores frames but keeps the last picture.
    surface.enqueue(frame(10, 10, Qt::blue));
    EXPECT_EQ(surface.displayedImage().pixelColor(0, 0), QColor(Qt::red));

    surface.flush();
    EXPECT_EQ(surface.status(), VideoSurface::Status::unknown);
    EXPECT_FALSE(surface.displayedImage().isNull());
    surface.flushAndRemoveImage();
    EXPECT_TRUE(surface.displayedImage().isNull());
    EXPECT_EQ(surface.grab().toImage().pixelColor(50, 50), QColor(Qt::black));
}

TEST(VideoSurface, APictureOfAnotherSizeIsScaledOffTheMainThreadAndNoOldOneComesBack)
{
    quorvia::test::TestPlatform platform;
    VideoSurface surface;
    surface.resize(100, 50);
    surface.enqueue(frame(200, 100, Qt::red));
    // Until the scaling queue has run, the picture is scaled where it is painted.
    EXPECT_EQ(platform.scheduler().queuedWorkCount(), 1u);
    EXPECT_EQ(surface.grab().toImage().pixelColor(50, 25), QColor(Qt::red));
    platform.scheduler().settle();

    // Frames that come while one is being scaled: the newest is shown next.
    surface.enqueue(frame(200, 100, Qt::green));
    surface.enqueue(frame(200, 100, Qt::blue));
    EXPECT_EQ(platform.scheduler().queuedWorkCount(), 1u);
    platform.scheduler().settle();
    EXPECT_EQ(surface.grab().toImage().pixelColor(50, 25), QColor(Qt::blue));

    // A picture removed while it is being scaled stays removed.
    surface.enqueue(frame(200, 100, Qt::yellow));
    surface.flushAndRemoveImage();
    platform.scheduler().settle();
    EXPECT_EQ(surface.grab().toImage().pixelColor(50, 25), QColor(Qt::black));
    surface.enqueue(frame(200, 100, Qt::cyan));
    platform.scheduler().drainQueues();
    EXPECT_EQ(surface.grab().toImage().pixelColor(50, 25), QColor(Qt::cyan));
    platform.scheduler().settle();
}
