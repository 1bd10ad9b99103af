#include "prompter/PrompterBubbleTracker.h"

#include <cmath>

namespace quorvia {

std::optional<platform::Point> PrompterBubbleTracker::moved(platform::Point pointer)
{
    const double dx = pointer.x - startPointer_.x;
    const double dy = pointer.y - startPointer_.y;
    if (std::sqrt(dx * dx + dy * dy) >= dragThreshold)
        dragged_ = true;
    if (!dragged_)
        return std::nullopt;
    return platform::Point{startOrigin_.x + dx, startOrigin_.y + dy};
}

} // namespace quorvia
