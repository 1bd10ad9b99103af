#include "platform/VideoSurface.h"
#include "privacy/AudienceCanvasView.h"
#include "support/FakeVideoSurface.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Point;
using platform::Rect;
using platform::Size;
using Kind = AudienceOutputMode::Kind;

namespace {

platform::CursorImage cursor(Size size, Point hotSpot)
{
    QImage image(int(size.width), int(size.height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return {image, size, hotSpot};
}

platform::SampleBuffer frame(QColor color = Qt::red)
{
    platform::SampleBuffer buffer;
    buffer.frameStatus = 0;
    buffer.image = QImage(32, 20, QImage::Format_ARGB32_Premultiplied);
    buffer.image.fill(color);
    return buffer;
}

const Rect kBuiltIn(0, 0, 1440, 900); // 16:10

} // namespace

TEST(AudiencePointerLayout, MapsByAspectFitIntoLetterboxAndPillarbox)
{
    const auto arrow = cursor({16, 24}, {0, 0});
    // A 16:9 audience view is wider than the 16:10 source: bars left and right.
    auto wide = layoutAudiencePointer(Kind::live, false, kBuiltIn, {1920, 1080}, {720, 450}, arrow, 1.0);
    ASSERT_TRUE(wide);
    EXPECT_DOUBLE_EQ(wide->contentRect.width(), 1728);
    EXPECT_DOUBLE_EQ(wide->contentRect.minX(), 96);
    EXPECT_DOUBLE_EQ(wide->contentRect.minY(), 0);
    EXPECT_DOUBLE_EQ(wide->position.x, 960);
    EXPECT_DOUBLE_EQ(wide->position.y, 540);

    // A 4:3 view is narrower: bars above and below.
    auto tall = layoutAudiencePointer(Kind::live, false, kBuiltIn, {1024, 768}, {0, 0}, arrow, 1.0);
    ASSERT_TRUE(tall);
    EXPECT_DOUBLE_EQ(tall->contentRect.height(), 640);
    EXPECT_DOUBLE_EQ(tall->contentRect.minY(), 64);
    EXPECT_DOUBLE_EQ(tall->position.x, 0);
    EXPECT_DOUBLE_EQ(tall->position.y, 64);

    // The same aspect ratio fills the bounds exactly.
    auto same = layoutAudiencePointer(Kind::live, false, kBuiltIn, {2880, 1800}, {0, 0}, arrow, 1.0);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->contentRect, Rect(0, 0, 2880, 1800));
}

TEST(AudiencePointerLayout, SourceFrameOffsetAndHotSpotAnchor)
{
    const Rect source(-1440, 100, 1440, 900);
    const auto c = cursor({20, 40}, {5, 10});
    auto layout = layoutAudiencePointer(Kind::live, false, source, {1440, 900}, {-720, 100}, c, std::nullopt);
    ASSERT_TRUE(layout);
    EXPECT_DOUBLE_EQ(layout->position.x, 720);
    EXPECT_DOUBLE_EQ(layout->position.y, 0);
    EXPECT_DOUBLE_EQ(layout->anchor.x, 0.25);
    EXPECT_DOUBLE_EQ(layout->anchor.y, 0.75);
    EXPECT_DOUBLE_EQ(layout->scale, 2.0); // no window
}

TEST(AudiencePointerLayout, SmallCursorGetsAnEighteenPointLayer)
{
    auto layout = layoutAudiencePointer(Kind::live, false, kBuiltIn, {1440, 900}, {10, 10}, cursor({8, 12}, {4, 6}),
                                        1.0);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->size, (Size{18, 18}));
    EXPECT_DOUBLE_EQ(layout->anchor.x, 4.0 / 18);
    EXPECT_DOUBLE_EQ(layout->anchor.y, 1 - 6.0 / 18);
}

TEST(AudiencePointerLayout, HiddenOnEdgesWhenSuppressedAndOutsideLive)
{
    const auto c = cursor({16, 16}, {0, 0});
    const Size view{1440, 900};
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {1440, 10}, c, 1.0)); // right edge
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {10, 900}, c, 1.0));  // top edge
    EXPECT_TRUE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {1439.5, 899.5}, c, 1.0));
    EXPECT_TRUE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {0, 0}, c, 1.0)); // bottom-left inside
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, true, kBuiltIn, view, {10, 10}, c, 1.0));
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, std::nullopt, view, {10, 10}, c, 1.0));
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, kBuiltIn, {0, 900}, {10, 10}, c, 1.0));
    for (Kind mode : {Kind::frozen, Kind::standby, Kind::safe})
        EXPECT_FALSE(layoutAudiencePointer(mode, false, kBuiltIn, view, {10, 10}, c, 1.0));
}

class AudienceCanvasViewTest : public ::testing::Test {
protected:
    test::FakeVideoSurfaces surfaces;
    AudienceCanvasView canvas{Rect(0, 0, 640, 400)};
    test::FakeVideoSurface& surface = *surfaces.last();
};

TEST_F(AudienceCanvasViewTest, PointerLayerSitsOnTheMappedPointInWidgetSpace)
{
    canvas.configurePointerSource(kBuiltIn);
    canvas.setMode(AudienceOutputMode::live());
    // Middle of the source maps to the middle of the canvas; the hot spot at
    // the image's top-left lands there.
    canvas.updatePointer({720, 450}, cursor({20, 20}, {0, 0}), false);
    EXPECT_TRUE(canvas.isPointerShown());
    EXPECT_EQ(canvas.pointerGeometry(), QRect(320, 200, 20, 20));
    // Near the top of the source (y up) is near the top of the widget (y down).
    canvas.updatePointer({0, 882}, cursor({20, 20}, {0, 0}), false);
    EXPECT_EQ(canvas.pointerGeometry().topLeft(), QPoint(0, 8));

    canvas.updatePointer({720, 450}, cursor({20, 20}, {0, 0}), true);
    EXPECT_FALSE(canvas.isPointerShown());
}

TEST_F(AudienceCanvasViewTest, FrozenHoldsThePictureRefusesFramesAndHidesThePointer)
{
    canvas.configurePointerSource(kBuiltIn);
    canvas.setMode(AudienceOutputMode::live());
    canvas.enqueue(frame(Qt::red));
    canvas.updatePointer({10, 10}, cursor({16, 16}, {0, 0}), false);
    ASSERT_TRUE(canvas.isPointerShown());

    canvas.setMode(AudienceOutputMode::frozen());
    EXPECT_FALSE(canvas.isPointerShown());
    EXPECT_FALSE(surface.isHidden());
    canvas.enqueue(frame(Qt::blue));
    EXPECT_EQ(surface.enqueued, 1);
    EXPECT_EQ(surface.displayedImage().pixelColor(0, 0), QColor(Qt::red));
    canvas.updatePointer({10, 10}, cursor({16, 16}, {0, 0}), false);
    EXPECT_FALSE(canvas.isPointerShown());
}

TEST_F(AudienceCanvasViewTest, CardsFlushWithRemovalSoNoEarlierPictureReturns)
{
    canvas.setMode(AudienceOutputMode::live());
    canvas.enqueue(frame(Qt::red));
    for (const auto& card : {AudienceOutputMode::safe(QStringLiteral("原因")), AudienceOutputMode::standby()}) {
        const int before = surface.flushesWithRemoval;
        canvas.setMode(card);
        EXPECT_EQ(surface.flushesWithRemoval, before + 1);
        EXPECT_TRUE(surface.isHidden());
        EXPECT_TRUE(surface.displayedImage().isNull());
        canvas.enqueue(frame(Qt::green)); // refused outside live
        EXPECT_TRUE(surface.displayedImage().isNull());
    }
    // Back to live: black until the next frame.
    canvas.setMode(AudienceOutputMode::live());
    EXPECT_FALSE(surface.isHidden());
    EXPECT_TRUE(surface.displayedImage().isNull());
}

TEST_F(AudienceCanvasViewTest, RendererTroubleIsFlushedBeforeTheNextFrameAndBusyRendererDrops)
{
    canvas.setMode(AudienceOutputMode::live());
    surface.forcedStatus = platform::VideoSurface::Status::failed;
    EXPECT_FALSE(canvas.isRendererHealthy());
    canvas.enqueue(frame());
    EXPECT_EQ(surface.calls, (std::vector<QString>{"flush", "enqueue"}));
    EXPECT_TRUE(canvas.isRendererHealthy());

    surface.calls.clear();
    surface.needsFlush = true;
    canvas.enqueue(frame());
    EXPECT_EQ(surface.calls, (std::vector<QString>{"flush", "enqueue"}));

    surface.calls.clear();
    surface.ready = false;
    canvas.enqueue(frame());
    EXPECT_TRUE(surface.calls.empty());
}

TEST_F(AudienceCanvasViewTest, ShutdownDropsTheRendererAndShowsTheStoppedMode)
{
    canvas.setMode(AudienceOutputMode::live());
    canvas.enqueue(frame());
    canvas.prepareForShutdown();
    EXPECT_EQ(canvas.mode().kind, Kind::safe);
    EXPECT_EQ(canvas.mode().reason, QStringLiteral("输出已停止"));
    EXPECT_FALSE(canvas.isRendererHealthy());
    EXPECT_FALSE(canvas.isPointerShown());
}

TEST(AudienceCanvasViewRendering, StandbyCardShowsTwoCentredLinesOnBlack)
{
    AudienceCanvasView canvas(Rect(0, 0, 960, 540));
    canvas.setMode(AudienceOutputMode::standby());
    const QImage shot = canvas.grab().toImage();
    shot.save(QStringLiteral("/tmp/quorvia-audience-standby.png"));

    auto litRows = [&](int top, int bottom, int* minX, int* maxX) {
        int rows = 0;
        *minX = shot.width();
        *maxX = -1;
        for (int y = top; y < bottom; ++y) {
            bool lit = false;
            for (int x = 0; x < shot.width(); ++x)
                if (qGray(shot.pixel(x, y)) > 60) {
                    lit = true;
                    *minX = std::min(*minX, x);
                    *maxX = std::max(*maxX, x);
                }
            rows += lit;
        }
        return rows;
    };
    int minX = 0;
    int maxX = 0;
    // Nothing but black away from the two lines.
    EXPECT_EQ(litRows(0, 170, &minX, &maxX), 0);
    EXPECT_EQ(litRows(360, 540, &minX, &maxX), 0);
    // The title sits above the middle, the subtitle below it, each centred.
    EXPECT_GT(litRows(190, 262, &minX, &maxX), 20);
    EXPECT_NEAR((minX + maxX) / 2.0, 480, 6);
    EXPECT_GT(maxX - minX, 100);
    EXPECT_GT(litRows(278, 322, &minX, &maxX), 10);
    EXPECT_NEAR((minX + maxX) / 2.0, 480, 6);
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::black));
}

TEST(AudienceCanvasViewRendering, SafeCardShowsTheReason)
{
    AudienceCanvasView canvas(Rect(0, 0, 960, 540));
    canvas.setMode(AudienceOutputMode::safe(QStringLiteral("捕获流心跳超时")));
    const QImage shot = canvas.grab().toImage();
    shot.save(QStringLiteral("/tmp/quorvia-audience-safe.png"));
    EXPECT_EQ(canvas.mode().cardTitle(), QStringLiteral("安全暂停"));
    EXPECT_EQ(canvas.mode().cardSubtitle(), QStringLiteral("捕获流心跳超时"));
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::black));
}

TEST(AudienceCanvasViewRendering, LiveFrameIsPillarboxedWithThePointerOnTop)
{
    AudienceCanvasView canvas(Rect(0, 0, 960, 540));
    canvas.configurePointerSource(kBuiltIn);
    canvas.setMode(AudienceOutputMode::live());
    QImage picture(1440, 900, QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    platform::SampleBuffer buffer;
    buffer.frameStatus = 0;
    buffer.image = picture;
    canvas.enqueue(buffer);
    QImage arrow(16, 16, QImage::Format_ARGB32_Premultiplied);
    arrow.fill(Qt::white);
    canvas.updatePointer({720, 450}, {arrow, {16, 16}, {0, 0}}, false);
    const QImage shot = canvas.grab().toImage();
    shot.save(QStringLiteral("/tmp/quorvia-audience-live.png"));
    // 16:10 in 16:9: 864 wide, bars of 48 on each side.
    EXPECT_EQ(shot.pixelColor(20, 270), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(60, 270), QColor(40, 90, 160));
    EXPECT_EQ(shot.pixelColor(940, 270), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(485, 275), QColor(Qt::white)); // the pointer below-right of the centre
}
