#include "privacy/PrivateWindowGeometry.h"

#include <algorithm>

namespace quorvia {

platform::Rect PrivateWindowGeometry::clampedFrame(const platform::Rect& frame, const platform::Rect& bounds)
{
    const double w = std::min(frame.width(), bounds.width());
    const double h = std::min(frame.height(), bounds.height());
    const double x = std::min(std::max(frame.minX(), bounds.minX()), bounds.minX() + bounds.width() - w);
    const double y = std::min(std::max(frame.minY(), bounds.minY()), bounds.minY() + bounds.height() - h);
    return platform::Rect(x, y, w, h);
}

} // namespace quorvia
