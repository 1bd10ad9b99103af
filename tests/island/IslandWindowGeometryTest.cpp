#include "island/IslandWindowGeometry.h"

#include "support/FakeDisplayService.h"

#include <gtest/gtest.h>

#include <optional>

namespace quorvia {
namespace {

using platform::Point;
using platform::Rect;
namespace geometry = island_geometry;

struct ResizeCase {
    IslandResizeEdge edge;
    Point mouse;
    Rect expected;
    // Where the window stands as the pointer moves, when not where the drag began.
    std::optional<Rect> current = std::nullopt;
};

TEST(IslandResizeGeometry, DraggedEdgeMovesAndTheOthersStayWhereTheWindowStandsUntilTheMinimum)
{
    const Rect start(100, 200, 640, 660);
    const Point grab(100, 500);
    const platform::Size minimum{520, 560};
    const ResizeCase cases[] = {
        {IslandResizeEdge::left, {200, 500}, Rect(200, 200, 540, 660)},
        {IslandResizeEdge::left, {300, 500}, Rect(220, 200, 520, 660)},
        {IslandResizeEdge::left, {0, 500}, Rect(0, 200, 740, 660)},
        {IslandResizeEdge::right, {-200, 500}, Rect(100, 200, 520, 660)},
        {IslandResizeEdge::bottom, {100, 400}, Rect(100, 100, 640, 760)},
        {IslandResizeEdge::bottom, {100, 700}, Rect(100, 300, 640, 560)},
        {IslandResizeEdge::top, {100, 550}, Rect(100, 200, 640, 710)},
        {IslandResizeEdge::topRight, {150, 530}, Rect(100, 200, 690, 690)},
        {IslandResizeEdge::bottomLeft, {130, 480}, Rect(130, 180, 610, 680)},
        {IslandResizeEdge::bottomRight, {50, 900}, Rect(100, 300, 590, 560)},
        {IslandResizeEdge::topLeft, {90, 490}, Rect(90, 200, 650, 650)},
        // Grown by 140 since the press, its top edge kept: the held edge alone follows the pointer.
        {IslandResizeEdge::right, {150, 500}, Rect(100, 60, 690, 800), Rect(100, 60, 640, 800)},
        {IslandResizeEdge::left, {700, 500}, Rect(220, 60, 520, 800), Rect(100, 60, 640, 800)},
        {IslandResizeEdge::bottom, {100, 450}, Rect(100, 150, 640, 710), Rect(100, 60, 640, 800)},
    };
    for (const auto& c : cases) {
        const Rect r = geometry::resizedFrame(c.edge, start, grab, c.mouse, minimum, c.current.value_or(start));
        EXPECT_EQ(r, c.expected) << int(c.edge) << " -> " << r.minX() << "," << r.minY() << " " << r.width() << "x"
                                 << r.height();
    }
}

TEST(IslandWindowGeometry, HeightFollowsTheModuleKeepingTheTopEdge)
{
    const Rect island(400, 207, 640, 660);
    const auto shrunk = geometry::expandedFrame(island, 470);
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(*shrunk, Rect(400, 347, 640, 520));
    EXPECT_EQ(shrunk->maxY(), island.maxY());
    EXPECT_FALSE(geometry::expandedFrame(island, 610.4));
    EXPECT_FALSE(geometry::expandedFrame(island, 609.5));
    EXPECT_TRUE(geometry::expandedFrame(island, 609.4));
}

TEST(IslandWindowGeometry, IslandHangsBelowTheMenuBarCentredOnTheWholeScreen)
{
    auto screen = test::FakeDisplayService::builtIn();
    screen.frame = Rect(-200, 0, 1440, 900);
    screen.visibleFrame = Rect(-100, 0, 1340, 875);
    EXPECT_EQ(geometry::islandOrigin(screen, {640, 660}), (Point{200, 207}));
    // An odd width stands on a whole pixel, not half way.
    EXPECT_EQ(geometry::islandOrigin(screen, {641, 660}), (Point{199, 207}));
}

TEST(IslandTriggerGeometry, FramesWithAndWithoutANotchHangFromTheTopOfTheScreen)
{
    auto screen = test::FakeDisplayService::builtIn();
    screen.safeAreaTopInset = 32;
    EXPECT_EQ(geometry::compactPanelFrame(screen, false), Rect(610, 862, 220, 38));
    EXPECT_EQ(geometry::compactPanelFrame(screen, true), Rect(596, 820, 248, 80));
    screen.safeAreaTopInset = 0.5;
    EXPECT_EQ(geometry::compactPanelFrame(screen, false), Rect(664, 884, 112, 16));
    EXPECT_EQ(geometry::compactPanelFrame(screen, true), Rect(596, 842, 248, 58));
    for (bool hovered : {false, true})
        EXPECT_EQ(geometry::compactPanelFrame(screen, hovered).maxY(), screen.frame.maxY());
}

} // namespace
} // namespace quorvia
