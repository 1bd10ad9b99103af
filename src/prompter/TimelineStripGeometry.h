#pragma once

#include "model/PromptTimelineBlock.h"
#include "prompter/TimelineStripDensity.h"

#include <QRectF>

#include <optional>

namespace quorvia {

// Card frames and drop columns of the strip's canvas, in its y-down space.
// Every block owns one column; slides sit on the upper row, demos on the lower.
namespace timeline_geometry {

// Content width of n cards without a gap after the last, but never narrower
// than the visible area.
double canvasWidth(TimelineStripDensity density, int blockCount, double minimumWidth);
QRectF cardFrame(TimelineStripDensity density, int index, const PromptTimelineBlockKind& kind);
// The column under x, clamped to the blocks; none when there are no blocks.
std::optional<int> dropDestination(TimelineStripDensity density, double x, int blockCount);
// The horizontal scroll offset that brings [left, right] into view by the
// smallest move from the current offset.
double revealOffset(double currentOffset, double visibleWidth, double left, double right);

} // namespace timeline_geometry
} // namespace quorvia
