#include "island/IslandBackgroundView.h"

#include "platform/Platform.h"
#include "platform/core/MainQueue.h"
#include "platform/desktop/PointerService.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "look/DarkColours.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace quorvia {

IslandBackgroundView::IslandBackgroundView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void IslandBackgroundView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(r, 24, 24);
    p.fillPath(path, dark_colours::islandBackground());
    p.setPen(QPen(dark_colours::islandBorder(), 1));
    p.drawPath(path);
}

void IslandBackgroundView::resizeEvent(QResizeEvent*)
{
    if (onLayout)
        onLayout();
}

void IslandBackgroundView::mousePressEvent(QMouseEvent* event)
{
    auto* w = qobject_cast<platform::Window*>(window());
    if (!w || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // Where the pointer holds the window, from its top left, not where either
    // stood: the window keeps under the pointer though the displays change or
    // the island changes its height mid-drag.
    grip_ = event->globalPosition() - QPointF(platform::toQtGlobal(w->frame()).topLeft());
    followed_ = event->globalPosition();
    held_ = platform::Timer::scheduled(1.0 / 60, true, [this] {
        if (!platform::current().pointer().isButtonHeld()) {
            grip_.reset();
            held_.reset();
            return;
        }
        // Asked of the server now: a position kept from earlier would pull the window back.
        follow(QPointF(QCursor::pos()));
    });
}

void IslandBackgroundView::mouseMoveEvent(QMouseEvent* event) { follow(event->globalPosition()); }

void IslandBackgroundView::follow(QPointF pointer)
{
    auto* w = qobject_cast<platform::Window*>(window());
    // A pointer at rest asks nothing, though a clamp keeps the window short of it.
    if (!w || !grip_ || std::exchange(followed_, pointer) == pointer)
        return;
    const QRectF now(pointer - *grip_, QSizeF(platform::toQtGlobal(w->frame()).size()));
    w->setFrameOrigin(platform::fromQtGlobal(now).origin);
}

void IslandBackgroundView::mouseReleaseEvent(QMouseEvent*)
{
    grip_.reset();
    held_.reset();
}

void IslandBackgroundView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!onContextMenu)
        return QWidget::contextMenuEvent(event);
    onContextMenu(event->globalPos());
    event->accept();
}

} // namespace quorvia
