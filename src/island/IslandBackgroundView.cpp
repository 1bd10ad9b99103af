#include "island/IslandBackgroundView.h"

#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "look/DarkColours.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

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
    // Where the pointer holds the window, not where either stood: the window
    // keeps under the pointer though the displays change mid-drag.
    const platform::Point at = platform::fromQtGlobal(event->globalPosition());
    grip_ = platform::Point{at.x - w->frame().origin.x, at.y - w->frame().origin.y};
}

void IslandBackgroundView::mouseMoveEvent(QMouseEvent* event)
{
    auto* w = qobject_cast<platform::Window*>(window());
    if (!w || !grip_)
        return;
    const platform::Point now = platform::fromQtGlobal(event->globalPosition());
    w->setFrameOrigin({now.x - grip_->x, now.y - grip_->y});
}

void IslandBackgroundView::mouseReleaseEvent(QMouseEvent*) { grip_.reset(); }

void IslandBackgroundView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!onContextMenu)
        return QWidget::contextMenuEvent(event);
    onContextMenu(event->globalPos());
    event->accept();
}

} // namespace quorvia
