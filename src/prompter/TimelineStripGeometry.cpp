#include "prompter/TimelineStripGeometry.h"

#include <algorithm>
#include <cmath>

namespace quorvia::timeline_geometry {

double canvasWidth(TimelineStripDensity density, int blockCount, double minimumWidth)
{
    const double content = blockCount * timelineColumnStep(density) - (blockCount > 0 ? timelineSlotGap(density) : 0);
    return std::max(minimumWidth, content);
}

QRectF cardFrame(TimelineStripDensity density, int index, const PromptTimelineBlockKind& kind)
{
    const QSizeF size = timelineCardSize(density);
    const double y = kind.isSlide() ? 1 : size.height() + timelineRowGap(density);
    return QRectF(QPointF(index * timelineColumnStep(density), y), size);
}

std::optional<int> dropDestination(TimelineStripDensity density, double x, int blockCount)
{
    if (blockCount <= 0 || !std::isfinite(x))
        return std::nullopt;
    const double step = std::max(timelineColumnStep(density), 1.0);
    // Clamp before converting so a far-off pointer cannot overflow the integer.
    const double column = std::clamp(std::trunc(x / step), 0.0, double(blockCount - 1));
    return static_cast<int>(column);
}

double revealOffset(double currentOffset, double visibleWidth, double left, double right)
{
    if (left < currentOffset || right - left > visibleWidth)
        return left;
    if (right > currentOffset + visibleWidth)
        return right - visibleWidth;
    return currentOffset;
}

} // namespace quorvia::timeline_geometry
