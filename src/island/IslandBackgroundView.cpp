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
    hold_.onMove = [this](QPointF pointer) { follow(pointer); };
    hold_.onRelease = [this](std::optional<QPointF> at) {
        if (at)
            follow(*at);
        grip_.reset();
    };
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
    hold_.begin(event->globalPosition());
}

void IslandBackgroundView::mouseMoveEvent(QMouseEvent* event) { hold_.moveTo(event->globalPosition()); }

void IslandBackgroundView::follow(QPointF pointer)
{
    auto* w = qobject_cast<platform::Window*>(window());
    if (!w || !grip_)
        return;
    const QRectF now(pointer - *grip_, QSizeF(platform::toQtGlobal(w->frame()).size()));
    w->setFrameOrigin(platform::fromQtGlobal(now).origin);
}

void IslandBackgroundView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        hold_.release(event->globalPosition());
}

void IslandBackgroundView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!onContextMenu)
        return QWidget::contextMenuEvent(event);
    onContextMenu(event->globalPos());
    event->accept();
}

} // namespace quorvia
