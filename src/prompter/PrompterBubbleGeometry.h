#pragma once

#include "platform/core/Geometry.h"

#include <optional>

namespace quorvia {

// Where the prompter's bubble and window go, in the global y-up space. Clamps
// apply the lower bound first and the upper bound last.
namespace PrompterBubbleGeometry {

inline constexpr platform::Size bubbleSize{56, 56};

// The bubble in a window's top-right corner.
platform::Rect bubbleFrame(const platform::Rect& window);
// The window of the saved size with its top-right corner at the bubble's,
// kept within the visible frame when there is one.
platform::Rect expandedFrame(const platform::Rect& bubble, platform::Size expandedSize,
                             const std::optional<platform::Rect>& visible);
// A rectangle moved (never resized) to lie within the visible frame.
platform::Rect clamped(const platform::Rect& frame, const platform::Rect& visible);
// The window's place on the built-in screen: lower right, 24 in and 42 up.
platform::Point windowOrigin(platform::Size windowSize, const platform::Rect& visible);

} // namespace PrompterBubbleGeometry

} // namespace quorvia
