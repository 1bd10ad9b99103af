#pragma once

#include "platform/core/Geometry.h"

namespace quorvia {

class PrivateWindowGeometry {
public:
    PrivateWindowGeometry() = delete;

    // Shrinks the frame to the bounds' size where it is larger, then moves it
    // inside. A frame that fits comes back unchanged.
    static platform::Rect clampedFrame(const platform::Rect& frame, const platform::Rect& bounds);
};

} // namespace quorvia
