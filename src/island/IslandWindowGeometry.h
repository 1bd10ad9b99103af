#pragma once

#include "platform/displays/DisplayService.h"
#include "platform/core/Geometry.h"

#include <optional>

namespace quorvia {

enum class IslandResizeEdge { left, right, top, bottom, topLeft, topRight, bottomLeft, bottomRight };

// The island's frame arithmetic, in the global y-up space.
namespace island_geometry {

inline constexpr double compactIdleWidth = 112;
inline constexpr double compactNotchWidth = 220;
inline constexpr double compactIdleHeight = 16;
inline constexpr double compactNotchLip = 6;
inline constexpr double compactHoverWidth = 248;
inline constexpr double compactHoverExtraHeight = 42;
inline constexpr double resizeHandleThickness = 16;
inline constexpr double resizeCornerSize = 22;
inline constexpr double collapseFooterAllowance = 50;
inline constexpr double defaultWidth = 640;
inline constexpr platform::Size minimumContentSize{520, 560};

// The window's frame during a handle drag: always measured from where the drag
// began, so the opposite edge stays put and a dragged edge stops at the minimum.
// Along an axis the drag holds no edge of, the window keeps the size it has
// now: the island taking back the prompter grows it under the held hand.
platform::Rect resizedFrame(IslandResizeEdge edge, const platform::Rect& initialFrame, platform::Point initialMouse,
                            platform::Point mouse, platform::Size minimum, const platform::Rect& current);

// Centred on the whole screen, 8 points below the top of its visible area.
platform::Point islandOrigin(const platform::Screen& screen, platform::Size windowSize);

// The frame for a module's preferred height, keeping the top edge; none when
// the height is already within half a point.
std::optional<platform::Rect> expandedFrame(const platform::Rect& current, double preferredModuleHeight);

// The trigger hangs from the very top of the screen, centred; shaped to a
// camera notch when the screen has one.
platform::Rect compactPanelFrame(const platform::Screen& screen, bool hovered);

} // namespace island_geometry
} // namespace quorvia
