#include "island/IslandWindowGeometry.h"

#include <algorithm>
#include <cmath>

namespace quorvia::island_geometry {

using platform::Point;
using platform::Rect;
using platform::Size;

Rect resizedFrame(IslandResizeEdge edge, const Rect& f, Point initialMouse, Point mouse, Size m, const Rect& current)
{
    const double dx = mouse.x - initialMouse.x;
    const double dy = mouse.y - initialMouse.y;
    const bool left = edge == IslandResizeEdge::left || edge == IslandResizeEdge::topLeft
        || edge == IslandResizeEdge::bottomLeft;
    const bool right = edge == IslandResizeEdge::right || edge == IslandResizeEdge::topRight
        || edge == IslandResizeEdge::bottomRight;
    const bool top = edge == IslandResizeEdge::top || edge == IslandResizeEdge::topLeft
        || edge == IslandResizeEdge::topRight;
    const bool bottom = edge == IslandResizeEdge::bottom || edge == IslandResizeEdge::bottomLeft
        || edge == IslandResizeEdge::bottomRight;

    Rect r = f;
    // Along an axis no held edge lies on, the window keeps the size it has
    // now, from its top or left edge at the press.
    if (!left && !right)
        r.size.width = current.size.width;
    if (!top && !bottom) {
        r.size.height = current.size.height;
        r.origin.y = f.maxY() - current.size.height;
    }
    if (left) {
        r.size.width = std::max(m.width, f.width() - dx);
        r.origin.x = f.maxX() - r.size.width;
    } else if (right) {
        r.size.width = std::max(m.width, f.width() + dx);
    }
    if (top) {
        r.size.height = std::max(m.height, f.height() + dy);
    } else if (bottom) {
        r.size.height = std::max(m.height, f.height() - dy);
        r.origin.y = f.maxY() - r.size.height;
    }
    return r;
}

Point islandOrigin(const platform::Screen& screen, Size windowSize)
{
    // On whole pixels: the server rounds half of an odd width one way, a later
    // frame reckoned from it the other, and the island would creep a pixel.
    return {std::floor(screen.frame.midX() - windowSize.width / 2), screen.visibleFrame.maxY() - windowSize.height - 8};
}

std::optional<Rect> expandedFrame(const Rect& current, double preferredModuleHeight)
{
    const double target = preferredModuleHeight + collapseFooterAllowance;
    if (std::abs(current.height() - target) <= 0.5)
        return std::nullopt;
    return Rect(current.minX(), current.maxY() - target, current.width(), target);
}

Rect compactPanelFrame(const platform::Screen& screen, bool hovered)
{
    const double top = screen.safeAreaTopInset;
    const bool hasNotch = top > 0.5;
    double width = hasNotch ? compactNotchWidth : compactIdleWidth;
    double height = hasNotch ? top + compactNotchLip : compactIdleHeight;
    if (hovered) {
        width = std::max(compactHoverWidth, width + 28);
        height += compactHoverExtraHeight;
    }
    return Rect(screen.frame.midX() - width / 2, screen.frame.maxY() - height, width, height);
}

} // namespace quorvia::island_geometry
