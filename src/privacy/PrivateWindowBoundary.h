#pragma once

#include "platform/core/Geometry.h"

namespace quorvia {

// The area a private window must stay in.
enum class PrivateWindowBoundary { visibleDesktop, fullDisplay };

inline platform::Rect bounds(PrivateWindowBoundary boundary, const platform::Rect& displayFrame,
                             const platform::Rect& visibleFrame)
{
    return boundary == PrivateWindowBoundary::fullDisplay ? displayFrame : visibleFrame;
}

} // namespace quorvia
