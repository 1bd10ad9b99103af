#include "platform/displays/DisplayService.h"

namespace quorvia::platform {

std::optional<Screen> DisplayService::screenContaining(const Rect& rect) const
{
    std::optional<Screen> best;
    double bestArea = 0;
    for (const Screen& screen : screens()) {
        const Rect overlap = screen.frame.intersection(rect);
        const double area = overlap.width() * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

} // namespace quorvia::platform
