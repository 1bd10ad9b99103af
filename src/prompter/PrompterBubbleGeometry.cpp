#include "prompter/PrompterBubbleGeometry.h"

#include <algorithm>

namespace quorvia::PrompterBubbleGeometry {

using platform::Point;
using platform::Rect;
using platform::Size;

Rect bubbleFrame(const Rect& window)
{
    return Rect(window.maxX() - bubbleSize.width, window.maxY() - bubbleSize.height, bubbleSize.width, bubbleSize.height);
}

Rect expandedFrame(const Rect& bubble, Size expandedSize, const std::optional<Rect>& visible)
{
    Rect f(bubble.maxX() - expandedSize.width, bubble.maxY() - expandedSize.height, expandedSize.width,
           expandedSize.height);
    if (!visible)
        return f;
    const double width = std::min(f.width(), visible->width());
    const double height = std::min(f.height(), visible->height());
    const double x = std::min(std::max(f.minX(), visible->minX()), visible->maxX() - width);
    const double y = std::min(std::max(f.minY(), visible->minY()), visible->maxY() - height);
    return Rect(x, y, width, height);
}

Rect clamped(const Rect& frame, const Rect& visible)
{
    const double x = std::min(std::max(frame.minX(), visible.minX()), visible.maxX() - frame.width());
    const double y = std::min(std::max(frame.minY(), visible.minY()), visible.maxY() - frame.height());
    return Rect(x, y, frame.width(), frame.height());
}

Point windowOrigin(Size windowSize, const Rect& visible)
{
    return Point{visible.maxX() - windowSize.width - 24, visible.minY() + 42};
}

} // namespace quorvia::PrompterBubbleGeometry
