#include "prompter/TimelineStripDensity.h"

namespace quorvia {

QSizeF timelineCardSize(TimelineStripDensity density)
{
    return density == TimelineStripDensity::regular ? QSizeF(58, 30) : QSizeF(44, 24);
}

double timelineRowGap(TimelineStripDensity density)
{
    return density == TimelineStripDensity::regular ? 8 : 5;
}

double timelineSlotGap(TimelineStripDensity density)
{
    return density == TimelineStripDensity::regular ? 10 : 7;
}

double timelineTotalHeight(TimelineStripDensity density)
{
    return timelineCardSize(density).height() * 2 + timelineRowGap(density) + 14;
}

double timelineColumnStep(TimelineStripDensity density)
{
    return timelineCardSize(density).width() + timelineSlotGap(density);
}

int timelineLabelFontSize(TimelineStripDensity density)
{
    return density == TimelineStripDensity::regular ? 10 : 9;
}

} // namespace quorvia
