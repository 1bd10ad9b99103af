#pragma once

#include "platform/core/Geometry.h"

namespace quorvia {

class PrivateWindowGeometry {
public:
    PrivateWindowGeometry() = delete;

    // Shrinks the frame to the bounds' size where it is larger, then moves it
    // inside. A frame that fits comes back unchanged.
    static platform::Rect clampedFrame(const platform::Rect& frame, const platform::Rect& bounds);
    // The frame a window may take on its way from `former`: a move stops at
    // the bounds' edge, and a resize from inside them stops growing there,
    // its other edges staying where they were. A frame that fits comes back
    // unchanged. Mirror-symmetric, so it holds in a y-down space as well.
    static platform::Rect boundedFrame(const platform::Rect& frame, const platform::Rect& former,
                                       const platform::Rect& bounds);
};

} // namespace quorvia
