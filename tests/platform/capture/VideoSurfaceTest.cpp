#include "platform/capture/VideoSurface.h"

#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QBackingStore>
#include <QPaintEvent>
#include <QWidget>

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

namespace {
// The regions a widget is asked to repaint.
struct PaintSpy : QObject {
    std::vector<QRegion> regions;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

SampleBuffer next(QColor color, std::uint64_t sequence, std::optional<QRegion> dirty)
{
    SampleBuffer buffer = frame(200, 100, color);
    buffer.sequence = sequence;
    buffer.dirtyRegion = std::move(dirty);
    return buffer;
}
} // namespace

TEST(VideoSurface, TheNextPictureOfAStreamRepaintsOnlyWhereItChanged)
{
    quorvia::test::TestPlatform platform;
    VideoSurface surface;
    surface.resize(200, 100);
    surface.show();
    PaintSpy spy;
    surface.installEventFilter(&spy);
    auto paintsAfter = [&](const SampleBuffer& buffer) {
        spy.regions.clear();
        surface.enqueue(buffer);
        QCoreApplication::processEvents();
        return spy.regions;
    };

    EXPECT_EQ(paintsAfter(next(Qt::red, 1, std::nullopt)), std::vector<QRegion>{QRegion(0, 0, 200, 100)});
    EXPECT_EQ(paintsAfter(next(Qt::green, 2, QRegion(10, 20, 30, 40))), std::vector<QRegion>{QRegion(10, 20, 30, 40)});
    EXPECT_EQ(surface.grab().toImage().pixelColor(15, 25), QColor(Qt::green));
    // Nothing changed: nothing to repaint.
    EXPECT_TRUE(paintsAfter(next(Qt::green, 3, QRegion())).empty());

    // A picture missed in between, or one of unknown place: all of it.
    EXPECT_EQ(paintsAfter(next(Qt::blue, 5, QRegion(0, 0, 5, 5))), std::vector<QRegion>{QRegion(0, 0, 200, 100)});
    EXPECT_EQ(paintsAfter(next(Qt::blue, 0, QRegion(0, 0, 5, 5))), std::vector<QRegion>{QRegion(0, 0, 200, 100)});
    // After the picture was removed, the next one is drawn whole.
    surface.enqueue(next(Qt::red, 1, std::nullopt));
    surface.flushAndRemoveImage();
    QCoreApplication::processEvents();
    EXPECT_EQ(paintsAfter(next(Qt::yellow, 2, QRegion(0, 0, 5, 5))), std::vector<QRegion>{QRegion(0, 0, 200, 100)});
}

TEST(VideoSurface, APictureCopiedStraightIntoItsWindowLandsWhereItIsDrawn)
{
    quorvia::test::TestPlatform platform;
    // The surface inside a window, off its corner, as the audience canvas holds it.
    QWidget window;
    window.resize(1400, 900);
    auto* surface = new VideoSurface(&window);
    surface->setGeometry(30, 20, 1280, 720);
    window.show();
    QCoreApplication::processEvents();

    QImage picture(1280, 720, QImage::Format_RGB32);
    picture.fill(Qt::black);
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; x += 97)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, 200));
    SampleBuffer first;
    first.frameStatus = 0;
    first.image = picture;
    first.sequence = 1;
    surface->enqueue(first);
    QCoreApplication::processEvents();
    // A part changed in the next picture.
    QImage changed = picture.copy();
    for (int y = 300; y < 340; ++y)
        for (int x = 500; x < 600; ++x)
            changed.setPixel(x, y, qRgb(255, 255, 0));
    SampleBuffer second = first;
    second.image = changed;
    second.sequence = 2;
    second.dirtyRegion = QRegion(500, 300, 100, 40);
    surface->enqueue(second);
    QCoreApplication::processEvents();

    QBackingStore* store = window.backingStore();
    ASSERT_NE(store, nullptr);
    const QImage* shown = dynamic_cast<QImage*>(store->paintDevice());
    ASSERT_NE(shown, nullptr);
    for (QPoint at : {QPoint(0, 0), QPoint(97, 5), QPoint(1261, 719), QPoint(550, 320), QPoint(679, 333)})
        EXPECT_EQ(QColor(shown->pixel(at + QPoint(30, 20))), QColor(changed.pixel(at))) << at.x() << "," << at.y();
}
