#include "platform/VideoSurface.h"

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
