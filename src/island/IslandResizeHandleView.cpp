#include "island/IslandResizeHandleView.h"

#include "island/IslandWindow.h"
#include "platform/desktop/ScreenSpace.h"

#include <QMouseEvent>

namespace quorvia {

IslandResizeHandleView::IslandResizeHandleView(Edge edge, QWidget* parent) : QWidget(parent), edge_(edge)
{
    setCursor(cursorShape(edge));
    setAttribute(Qt::WA_NoSystemBackground);
    hold_.onMove = [this](QPointF pointer) { dragTo(platform::fromQtGlobal(pointer)); };
    hold_.onRelease = [this](std::optional<QPointF> at) {
        if (at)
            dragTo(platform::fromQtGlobal(*at));
        endDrag();
    };
}

Qt::CursorShape IslandResizeHandleView::cursorShape(Edge edge)
{
    switch (edge) {
    case Edge::left:
    case Edge::right:
        return Qt::SizeHorCursor;
    case Edge::top:
    case Edge::bottom:
        return Qt::SizeVerCursor;
    case Edge::topLeft:
    case Edge::bottomRight:
        return Qt::SizeFDiagCursor;
    case Edge::topRight:
    case Edge::bottomLeft:
        return Qt::SizeBDiagCursor;
    }
    return Qt::ArrowCursor;
}

void IslandResizeHandleView::beginDrag(platform::Point mouse)
{
    auto* w = qobject_cast<platform::Window*>(window());
    if (!w)
        return;
    initialFrame_ = w->frame();
    initialMouseLocation_ = mouse;
}

void IslandResizeHandleView::dragTo(platform::Point mouse)
{
    auto* w = qobject_cast<platform::Window*>(window());
    if (!w || !initialFrame_ || !initialMouseLocation_)
        return;
    auto* island = qobject_cast<IslandWindow*>(w);
    const platform::Size minimum = island ? island->contentMinSize() : platform::Size{};
    // From the frame of the press, so an edge dragged past the screen's stops there, the other staying put.
    const platform::Rect frame = island_geometry::resizedFrame(edge_, *initialFrame_, *initialMouseLocation_, mouse, minimum, w->frame());
    w->setFrame(frame, island_geometry::resizedFrame(edge_, *initialFrame_, *initialMouseLocation_, *initialMouseLocation_, minimum, w->frame()));
}

void IslandResizeHandleView::endDrag()
{
    initialFrame_.reset();
    initialMouseLocation_.reset();
}

void IslandResizeHandleView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    beginDrag(platform::fromQtGlobal(event->globalPosition()));
    hold_.begin(event->globalPosition());
}

void IslandResizeHandleView::mouseMoveEvent(QMouseEvent* event) { hold_.moveTo(event->globalPosition()); }

void IslandResizeHandleView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        hold_.release(event->globalPosition());
}

} // namespace quorvia
