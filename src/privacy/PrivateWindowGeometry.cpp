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

platform::Rect PrivateWindowGeometry::boundedFrame(const platform::Rect& frame, const platform::Rect& former,
                                                   const platform::Rect& bounds)
{
    // Along an axis where one edge stayed inside, the other stops at the
    // bounds; what moved whole is moved inside below.
    const auto cut = [](double low, double high, double wasLow, double wasHigh, double min, double max) {
        if (low == wasLow && high != wasHigh && low >= min && low < max)
            high = std::min(high, max);
        else if (high == wasHigh && low != wasLow && high > min && high <= max)
            low = std::max(low, min);
        return std::pair(low, high);
    };
    const auto [x0, x1] = cut(frame.minX(), frame.maxX(), former.minX(), former.maxX(), bounds.minX(), bounds.maxX());
    const auto [y0, y1] = cut(frame.minY(), frame.maxY(), former.minY(), former.maxY(), bounds.minY(), bounds.maxY());
    if (x1 <= x0 || y1 <= y0)
        return clampedFrame(frame, bounds);
    return clampedFrame(platform::Rect(x0, y0, x1 - x0, y1 - y0), bounds);
}

} // namespace quorvia
