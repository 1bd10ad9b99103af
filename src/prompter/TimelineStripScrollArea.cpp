#include "prompter/TimelineStripScrollArea.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>

namespace quorvia {

TimelineStripScrollArea::TimelineStripScrollArea(QWidget* parent) : QScrollArea(parent) {}

bool TimelineStripScrollArea::viewportEvent(QEvent* event)
{
    const bool handled = QScrollArea::viewportEvent(event);
    if (event->type() == QEvent::Resize && onViewportResized)
        onViewportResized();
    return handled;
}

void TimelineStripScrollArea::wheelEvent(QWheelEvent* event)
{
    // The horizontal scroller turns a vertical wheel into sideways steps.
    QCoreApplication::sendEvent(horizontalScrollBar(), event);
}

} // namespace quorvia
