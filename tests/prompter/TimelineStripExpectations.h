#pragma once

#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripCanvas.h"
#include "prompter/TimelineStripView.h"

#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

namespace quorvia::test {

// The canvas stands where the scroller says, and the card at the index is
// highlighted and wholly inside the visible area.
inline ::testing::AssertionResult showsCard(const TimelineStripView& strip, int index)
{
    const TimelineStripCanvas* canvas = strip.canvas();
    const int offset = strip.scrollView()->horizontalScrollBar()->value();
    if (canvas->x() != -offset)
        return ::testing::AssertionFailure() << "canvas at x " << canvas->x() << " with the scroller at " << offset;
    if (index < 0 || index >= canvas->cardCount())
        return ::testing::AssertionFailure() << "no card " << index;
    const TimelineCardView card = canvas->card(index);
    if (!card.selected)
        return ::testing::AssertionFailure() << "card " << index << " not highlighted";
    const QRect shown = card.frame.translated(canvas->pos());
    if (!strip.scrollView()->viewport()->rect().contains(shown))
        return ::testing::AssertionFailure() << "card " << index << " at " << shown.left() << ".." << shown.right()
                                             << " outside the visible " << strip.scrollView()->viewport()->width();
    return ::testing::AssertionSuccess();
}

} // namespace quorvia::test
