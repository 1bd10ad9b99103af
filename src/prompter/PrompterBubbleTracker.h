#pragma once

#include "platform/core/Geometry.h"

#include <optional>

namespace quorvia {

// Tells a click on the bubble from a drag: a press becomes a drag once the
// pointer has been 2.0 points or more from where it went down, and stays one.
// Points are in the global y-up space.
class PrompterBubbleTracker {
public:
    static constexpr double dragThreshold = 2.0;

    PrompterBubbleTracker(platform::Point pointer, platform::Point windowOrigin)
        : startPointer_(pointer), startOrigin_(windowOrigin)
    {
    }

    // The origin the bubble's window should take, once the press is a drag.
    std::optional<platform::Point> moved(platform::Point pointer);
    // True when the press ends as a click.
    bool releasedAsClick() const { return !dragged_; }
    bool isDragging() const { return dragged_; }

private:
    platform::Point startPointer_;
    platform::Point startOrigin_;
    bool dragged_ = false;
};

} // namespace quorvia
