#include "privacy/AudienceCanvasView.h"

#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "platform/capture/VideoSurface.h"
#include "support/FakeVideoSurface.h"
#include "support/TestPlatform.h"

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

platform::SampleBuffer frame(QColor color = Qt::red, QSize size = {32, 20})
{
    platform::SampleBuffer buffer;
    buffer.frameStatus = 0;
    buffer.image = QImage(size, QImage::Format_RGB32);
    buffer.image.fill(color);
    return buffer;
}

const Rect kBuiltIn(0, 0, 1440, 900); // 16:10

} // namespace

TEST(AudiencePointerLayout, MapsByAspectFitOrHides)
{
    const auto arrow = cursor({16, 24}, {0, 0});
    // A 16:9 audience view is wider than the 16:10 source: bars left and right.
    auto wide = layoutAudiencePointer(Kind::live, false, kBuiltIn, {1920, 1080}, {720, 450}, arrow, 1.0);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->contentRect, Rect(96, 0, 1728, 1080));
    EXPECT_EQ(wide->position, (Point{960, 540}));
    // A 4:3 view is narrower: bars above and below.
    auto tall = layoutAudiencePointer(Kind::live, false, kBuiltIn, {1024, 768}, {0, 0}, arrow, 1.0);
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->contentRect, Rect(0, 64, 1024, 640));
    EXPECT_EQ(tall->position, (Point{0, 64}));

    // A source away from the origin; the hot spot from the image's top-left.
    auto offset = layoutAudiencePointer(Kind::live, false, Rect(-1440, 100, 1440, 900), {1440, 900}, {-720, 100},
                                        cursor({20, 40}, {5, 10}), std::nullopt);
    ASSERT_TRUE(offset);
    EXPECT_EQ(offset->position, (Point{720, 0}));
    EXPECT_EQ(offset->anchor, (Point{0.25, 0.75}));
    // A small cursor gets an 18-point layer.
    auto small = layoutAudiencePointer(Kind::live, false, kBuiltIn, {1440, 900}, {10, 10}, cursor({8, 12}, {4, 6}), 1.0);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size, (Size{18, 18}));
    EXPECT_EQ(small->anchor, (Point{4.0 / 18, 1 - 6.0 / 18}));

    // Hidden on the right and top edges, when suppressed, without a source or view, and outside live.
    const auto c = cursor({16, 16}, {0, 0});
    const Size view{1440, 900};
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {1440, 10}, c, 1.0)); // right edge
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {10, 900}, c, 1.0));  // top edge
    EXPECT_TRUE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {1439.5, 899.5}, c, 1.0));
    EXPECT_TRUE(layoutAudiencePointer(Kind::live, false, kBuiltIn, view, {0, 0}, c, 1.0));
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, true, kBuiltIn, view, {10, 10}, c, 1.0));
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, std::nullopt, view, {10, 10}, c, 1.0));
    EXPECT_FALSE(layoutAudiencePointer(Kind::live, false, kBuiltIn, {0, 900}, {10, 10}, c, 1.0));
    for (Kind mode : {Kind::frozen, Kind::standby, Kind::safe})
        EXPECT_FALSE(layoutAudiencePointer(mode, false, kBuiltIn, view, {10, 10}, c, 1.0));
}

class AudienceCanvasViewTest : public ::testing::Test {
protected:
    test::TestPlatform platform;
    test::FakeVideoSurfaces surfaces;
    AudienceCanvasView canvas{Rect(0, 0, 640, 400)};
    test::FakeVideoSurface& surface = *surfaces.last();
};

TEST_F(AudienceCanvasViewTest, PointerLayerSitsOnTheMappedPointWithYFlipped)
{
    canvas.configurePointerSource(kBuiltIn);
    canvas.setMode(AudienceOutputMode::live());
    // Near the top of the source (y up) is near the top of the widget (y down).
    canvas.updatePointer({0, 882}, cursor({20, 20}, {0, 0}), false);
    EXPECT_TRUE(canvas.isPointerShown());
    EXPECT_EQ(canvas.pointerGeometry(), QRect(0, 8, 20, 20));
}

TEST_F(AudienceCanvasViewTest, FrozenHoldsThePictureButCardsFlushItForGood)
{
    canvas.configurePointerSource(kBuiltIn);
    canvas.setMode(AudienceOutputMode::live());
    canvas.enqueue(frame(Qt::red));
    canvas.updatePointer({10, 10}, cursor({16, 16}, {0, 0}), false);
    ASSERT_TRUE(canvas.isPointerShown());

    // Frozen: the picture stays, frames are refused and the pointer hides.
    canvas.setMode(AudienceOutputMode::frozen());
    EXPECT_FALSE(canvas.isPointerShown());
    canvas.enqueue(frame(Qt::blue));
    EXPECT_EQ(surface.displayedImage().pixelColor(0, 0), QColor(Qt::red));
    canvas.updatePointer({10, 10}, cursor({16, 16}, {0, 0}), false);
    EXPECT_FALSE(canvas.isPointerShown());

    // A card removes the picture, so going live again shows black until the next frame.
    for (const auto& card : {AudienceOutputMode::safe(QStringLiteral("原因")), AudienceOutputMode::standby()}) {
        canvas.setMode(AudienceOutputMode::live());
        canvas.enqueue(frame(Qt::red));
        canvas.setMode(card);
        EXPECT_TRUE(surface.isHidden());
        canvas.enqueue(frame(Qt::green)); // refused outside live
        canvas.setMode(AudienceOutputMode::live());
        EXPECT_FALSE(surface.isHidden());
        EXPECT_TRUE(surface.displayedImage().isNull());
    }
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

    canvas.prepareForShutdown();
    EXPECT_FALSE(canvas.isRendererHealthy());
}

// Where the pixels brighter than the black background lie within rows top..bottom.
QRect litArea(const QImage& shot, int top, int bottom)
{
    QRect area;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (qGray(shot.pixel(x, y)) > 60)
                area |= QRect(x, y, 1, 1);
    return area;
}

TEST(AudienceCanvasViewRendering, CardsShowTwoCentredLinesOnBlack)
{
    for (const auto& card : {AudienceOutputMode::standby(), AudienceOutputMode::safe(QStringLiteral("捕获流心跳超时"))}) {
        AudienceCanvasView canvas(Rect(0, 0, 960, 540));
        canvas.setMode(card);
        const QPixmap picture = canvas.grab();
        test::keepSnapshot(picture, card.kind == Kind::standby ? QStringLiteral("audience-standby")
                                                               : QStringLiteral("audience-safe"));
        const QImage shot = picture.toImage();
        // Nothing but black away from the two lines.
        EXPECT_TRUE(litArea(shot, 0, 170).isNull());
        EXPECT_TRUE(litArea(shot, 360, 540).isNull());
        // The title sits above the middle, the subtitle below it, each centred.
        const QRect title = litArea(shot, 190, 262);
        const QRect subtitle = litArea(shot, 278, 322);
        EXPECT_GT(title.height(), 20);
        EXPECT_GT(subtitle.height(), 10);
        EXPECT_NEAR(title.center().x(), 480, 6);
        EXPECT_NEAR(subtitle.center().x(), 480, 6);
    }
}
