#include "platform/linux/capture/X11PictureRefresh.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <array>
#include <vector>

using quorvia::platform::native::X11PictureRefresh;

namespace {

constexpr quint32 black = 0xff000000u;
constexpr quint32 guard = 0x12345678u;

TEST(X11PictureRefreshFill, BlackensExactlyTheRunAtEveryAlignmentAndLength)
{
    // Runs that start off every 16-byte boundary and end short of a wide store.
    for (int start = 0; start < 8; ++start) {
        for (int count = 0; count <= 41; ++count) {
            alignas(16) std::array<quint32, 64> row;
            row.fill(guard);
            X11PictureRefresh::fillBlackPixels(row.data() + start, count);
            for (int i = 0; i < int(row.size()); ++i) {
                const bool inside = i >= start && i < start + count;
                ASSERT_EQ(row[std::size_t(i)], inside ? black : guard) << "start " << start << " count " << count << " at " << i;
            }
        }
    }
}

TEST(X11PictureRefreshFill, BlackensARegionOfOverlappingRectanglesAndNothingElse)
{
    QImage image(37, 23, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    const QRegion region = QRegion(3, 2, 10, 5) + QRegion(8, 4, 20, 9) + QRegion(30, 0, 20, 40);
    X11PictureRefresh::fillBlack(image, region);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y) == black, region.contains(QPoint(x, y))) << x << "," << y;
}

// The capture's use of the plan, without an X server: a screen that changes
// in places while windows left out of it move, grabs into a ring of buffers
// that keep their older pictures, each brought up to date only where it must
// be. Every picture must equal the screen with the left-out places black, and
// what the plan says changed from the picture before must cover every pixel
// that did.
class PictureRing : public ::testing::Test {
protected:
    static constexpr int width = 64;
    static constexpr int height = 48;

    struct Buffer {
        QImage memory{width, height, QImage::Format_RGB32};
        bool holds = false;
        QRegion changedSince;
        QRegion blanked;
    };

    void SetUp() override
    {
        screen = QImage(width, height, QImage::Format_RGB32);
        screen.fill(QColor(0, 64, 64));
        for (auto& b : buffers)
            b.memory.fill(QColor(255, 0, 255)); // whatever the memory held before
    }

    // The screen changes in `area`; every buffer notes it.
    void draw(const QRect& area)
    {
        QPainter(&screen).fillRect(area, QColor::fromRgb(QRandomGenerator::global()->generate() | 0xff000000u));
        for (auto& b : buffers)
            b.changedSince += area;
    }

    // One picture: `before` left out when the grab starts, `after` when it ends
    // (a window that moved during the grab).
    QImage picture(const QRegion& before, const QRegion& after)
    {
        Buffer& b = buffers[next++ % buffers.size()];
        const QRegion grabbed = X11PictureRefresh::toGrab(screen.rect(), b.holds, b.changedSince, b.blanked, before);
        {
            QPainter painter(&b.memory);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            for (const QRect& r : grabbed)
                painter.drawImage(r.topLeft(), screen, r);
        }
        const QRegion leftOut = before + after;
        X11PictureRefresh::fillBlack(b.memory, X11PictureRefresh::toBlank(b.holds, grabbed, b.blanked, leftOut));
        b.holds = true;
        b.changedSince = QRegion();
        b.blanked = leftOut;
        return b.memory.copy();
    }

    QImage expected(const QRegion& leftOut) const
    {
        QImage image = screen.copy();
        X11PictureRefresh::fillBlack(image, leftOut);
        return image;
    }

    static QRegion differences(const QImage& a, const QImage& b)
    {
        QRegion region;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    region += QRect(x, y, 1, 1);
        return region;
    }

    QImage screen;
    std::array<Buffer, 3> buffers;
    std::size_t next = 0;
};

TEST_F(PictureRing, EveryPictureIsTheScreenWithTheLeftOutPlacesBlackAndItsChangesAreAllNamed)
{
    QRandomGenerator random(7);
    auto rect = [&](int most) {
        const int w = 1 + int(random.bounded(most));
        const int h = 1 + int(random.bounded(most));
        return QRect(int(random.bounded(width - w + 1)), int(random.bounded(height - h + 1)), w, h);
    };
    QRegion leftOutThen;
    QImage last;
    QRect window(10, 10, 20, 14);
    QRegion changedSinceLast;
    for (int step = 0; step < 300; ++step) {
        // The screen changes here and there, the left-out window moves now
        // and then (sometimes during the grab), and a second one comes and goes.
        for (int n = int(random.bounded(3)); n > 0; --n) {
            const QRect area = rect(20);
            draw(area);
            changedSinceLast += area;
        }
        QRegion before(window);
        if (random.bounded(4) == 0)
            window.moveTo(int(random.bounded(width - window.width())), int(random.bounded(height - window.height())));
        if (step % 7 < 3)
            before += QRect(40, 30, 12, 9);
        QRegion after(window);
        if (step % 7 < 3)
            after += QRect(40, 30, 12, 9);
        // The window's own drawing: inside the place it covers.
        draw(window);
        changedSinceLast += window;

        const QImage shown = picture(before, after);
        const QRegion leftOut = before + after;
        ASSERT_EQ(shown, expected(leftOut)) << "picture " << step;
        if (!last.isNull()) {
            const QRegion named = X11PictureRefresh::changedFromLast(changedSinceLast, leftOutThen, leftOut);
            ASSERT_TRUE((differences(last, shown) - named).isEmpty()) << "picture " << step << " changed unnamed";
        }
        last = shown;
        leftOutThen = leftOut;
        changedSinceLast = QRegion();
    }
}

TEST_F(PictureRing, AStillScreenIsNotReadAgainNorItsLeftOutPlacesBlankedAgain)
{
    const QRegion island(QRect(16, 0, 32, 20));
    for (std::size_t i = 0; i < buffers.size(); ++i)
        picture(island, island);
    // Every buffer holds the picture now: a small change elsewhere is all that is read.
    const QRect change(2, 30, 5, 4);
    draw(change);
    Buffer& b = buffers[next % buffers.size()];
    const QRegion grabbed = X11PictureRefresh::toGrab(screen.rect(), b.holds, b.changedSince, b.blanked, island);
    EXPECT_EQ(grabbed, QRegion(change));
    EXPECT_TRUE(X11PictureRefresh::toBlank(b.holds, grabbed, b.blanked, island).isEmpty());
    EXPECT_EQ(X11PictureRefresh::changedFromLast(QRegion(change), island, island), QRegion(change));
    // The window's own repaints change nothing the audience sees.
    EXPECT_TRUE(X11PictureRefresh::changedFromLast(island, island, island).isEmpty());
}

} // namespace
