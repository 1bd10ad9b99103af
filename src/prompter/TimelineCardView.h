#pragma once

#include "prompter/TimelineCardTitle.h"

#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

namespace quorvia {

// One timeline card as the canvas draws it. Cards are not widgets: a strip of
// thousands of blocks holds the blocks and nothing per card beyond them, and a
// reload never deletes what a running drag started from.
struct TimelineCardView {
    int index = -1;
    QString label;
    bool selected = false;
    // In the canvas's space.
    QRect frame;

    // Heard by assistive technology, whatever the title had to cut.
    QString accessibleName() const { return QStringLiteral("时间线块 ") + label; }
    // The title's room: 3 in from either side, the card's full height.
    QRect titleRect() const { return frame.adjusted(3, 0, -3, 0); }

    void paint(QPainter& painter, const TimelineCardTitle& title) const;
    // A bitmap of the card to follow the pointer while dragging.
    QPixmap dragImage(const TimelineCardTitle& title, qreal devicePixelRatio) const;
};

} // namespace quorvia
