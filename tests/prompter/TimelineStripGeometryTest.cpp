#include "prompter/TimelineBlockIndex.h"
#include "prompter/TimelineStripGeometry.h"
#include "prompter/TimelineStripReload.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorvia;
namespace geometry = quorvia::timeline_geometry;

namespace {

std::vector<PromptTimelineBlock> blocks(std::initializer_list<const char*> labels)
{
    std::vector<PromptTimelineBlock> out;
    for (const char* label : labels)
        out.emplace_back(QUuid::createUuid(), QString::fromUtf8(label), QString());
    return out;
}

struct DensityRow {
    TimelineStripDensity density;
    std::vector<double> x;
    double demoY;
    double contentWidth;
    double totalHeight;
    QSizeF cardSize;
};

} // namespace

TEST(TimelineStripGeometry, SlidesAndDemosShareColumnsOnTheirOwnRows)
{
    const auto script = blocks({"1", "2", "Demo", "3"});
    for (const DensityRow& row : {DensityRow{TimelineStripDensity::regular, {0, 68, 136, 204}, 38, 262, 82, {58, 30}},
                                  DensityRow{TimelineStripDensity::compact, {0, 51, 102, 153}, 29, 197, 67, {44, 24}}}) {
        SCOPED_TRACE(row.density == TimelineStripDensity::regular ? "regular" : "compact");
        for (int i = 0; i < 4; ++i) {
            const QRectF frame = geometry::cardFrame(row.density, i, script[std::size_t(i)].kind());
            EXPECT_EQ(frame.x(), row.x[std::size_t(i)]);
            EXPECT_EQ(frame.y(), i == 2 ? row.demoY : 1);
            EXPECT_EQ(frame.size(), row.cardSize);
        }
        EXPECT_EQ(geometry::canvasWidth(row.density, 4, 0), row.contentWidth);
        EXPECT_EQ(geometry::canvasWidth(row.density, 4, 400), 400);
        EXPECT_EQ(geometry::canvasWidth(row.density, 0, 150), 150);
        EXPECT_EQ(timelineTotalHeight(row.density), row.totalHeight);
    }
}

TEST(TimelineStripGeometry, DropColumnsSplitAtTheColumnStepAndClampToTheBlocks)
{
    using D = TimelineStripDensity;
    EXPECT_EQ(geometry::dropDestination(D::regular, 67.9, 4), 0);
    EXPECT_EQ(geometry::dropDestination(D::regular, 68, 4), 1);
    EXPECT_EQ(geometry::dropDestination(D::compact, 50.9, 4), 0);
    EXPECT_EQ(geometry::dropDestination(D::compact, 51, 4), 1);
    EXPECT_EQ(geometry::dropDestination(D::regular, -30, 4), 0);
    EXPECT_EQ(geometry::dropDestination(D::regular, 5000, 4), 3);
    EXPECT_EQ(geometry::dropDestination(D::regular, 1e300, 4), 3);
    EXPECT_EQ(geometry::dropDestination(D::regular, std::numeric_limits<double>::quiet_NaN(), 4), std::nullopt);
    EXPECT_EQ(geometry::dropDestination(D::regular, 10, 0), std::nullopt);
}

TEST(TimelineStripGeometry, RevealScrollsOnlyAsFarAsNeeded)
{
    EXPECT_EQ(geometry::revealOffset(0, 200, 50, 120), 0);      // already visible
    EXPECT_EQ(geometry::revealOffset(0, 200, 480, 558), 358);   // right edge lands on the right
    EXPECT_EQ(geometry::revealOffset(300, 200, 126, 204), 126); // left edge lands on the left
    EXPECT_EQ(geometry::revealOffset(0, 50, 100, 178), 100);    // wider than the view: its start
}

TEST(TimelineBlockIndex, OnlyAWholeDecimalIntIsAnIndex)
{
    using timeline_block_index::parse;
    EXPECT_EQ(parse("0"), 0);
    EXPECT_EQ(parse("12"), 12);
    EXPECT_EQ(parse("2147483647"), std::numeric_limits<int>::max());
    for (const char* bad : {"", "x1", "1x", "-1", "+1", " 1", "1 ", "1.0", "2147483648", "99999999999999999999", "٣"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(parse(QByteArray(bad)), std::nullopt);
    }
    EXPECT_EQ(parse(timeline_block_index::encode(734)), 734);
}

TEST(TimelineStripReload, RevealFollowsOrderAndSelectedBlockButNotTexts)
{
    const auto script = blocks({"1", "2", "Demo", "3"});
    EXPECT_FALSE(timelineRevealNeeded(script, 1, script, 1));

    auto relabelled = script;
    relabelled[1].label = QStringLiteral("二");
    relabelled[1].text = QStringLiteral("新的文字");
    EXPECT_FALSE(timelineRevealNeeded(script, 1, relabelled, 1));

    EXPECT_TRUE(timelineRevealNeeded(script, 1, script, 2));

    auto reordered = script;
    std::swap(reordered[0], reordered[3]);
    EXPECT_TRUE(timelineRevealNeeded(script, 1, reordered, 1));

    auto shorter = script;
    shorter.pop_back();
    EXPECT_TRUE(timelineRevealNeeded(script, 0, shorter, 0));

    // A selection outside the blocks counts as none.
    EXPECT_TRUE(timelineRevealNeeded({}, 0, script, 0));
    EXPECT_FALSE(timelineRevealNeeded({}, 0, {}, 0));
    EXPECT_FALSE(timelineRevealNeeded(script, 9, script, -1));
    EXPECT_TRUE(timelineRevealNeeded(script, 0, {}, 0));
}
