#include "platform/desktop/Popover.h"

#include "platform/Platform.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/displays/DisplayService.h"

#include <QScreen>

#include <algorithm>

namespace quorvia::platform {

Popover::Popover(QWidget* content) : Window(Rect(), WindowStyle::popover)
{
    setSharingType(SharingType::none);
    setContentView(content);
}

QRect Popover::placement(const QRect& anchor, const QSize& size, const QRect& screen, Edge preferredEdge)
{
    const int gap = 6;
    const int above = anchor.top() - gap - size.height();
    const int below = anchor.bottom() + 1 + gap;
    int top = preferredEdge == Edge::maxY ? above : below;
    if (preferredEdge == Edge::maxY && above < screen.top())
        top = below;
    if (preferredEdge == Edge::minY && below + size.height() > screen.bottom() + 1)
        top = above;
    int left = anchor.x() + (anchor.width() - size.width()) / 2;
    left = std::clamp(left, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
    return QRect(QPoint(left, top), size);
}

void Popover::show(QWidget* anchor, Edge preferredEdge)
{
    const QWidget* content = contentView();
    QSize size = sizeHint();
    if (content)
        size = content->minimumSize() == content->maximumSize() ? content->minimumSize() : content->sizeHint();
    QRect anchorRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    // The screen as the display service has it: Qt's own list lags behind a rearrangement.
    QRect area(anchorRect.topLeft(), size);
    if (const DisplayService* displays = hasCurrent() ? current().displayService.get() : nullptr) {
        if (const auto screen = displays->screenContaining(fromQtGlobal(QRectF(anchorRect))))
            area = toQtGlobal(screen->visibleFrame);
    } else if (const QScreen* screen = anchor->screen()) {
        area = screen->availableGeometry();
    }
    setFrame(fromQtGlobal(QRectF(placement(anchorRect, size, area, preferredEdge))));
    orderFront();
}

void Popover::hideEvent(QHideEvent* event)
{
    Window::hideEvent(event);
    if (onClose)
        onClose();
}

} // namespace quorvia::platform
