#pragma once

#include <QSizeF>

namespace quorvia {

// How tightly the timeline strip packs its cards: the panel uses regular, the
// prompter window compact.
enum class TimelineStripDensity { regular, compact };

QSizeF timelineCardSize(TimelineStripDensity density);
double timelineRowGap(TimelineStripDensity density);
double timelineSlotGap(TimelineStripDensity density);
// Two card rows, the gap between them and room for the scroller below.
double timelineTotalHeight(TimelineStripDensity density);
// Card width plus the gap to the next card.
double timelineColumnStep(TimelineStripDensity density);
int timelineLabelFontSize(TimelineStripDensity density);

} // namespace quorvia
