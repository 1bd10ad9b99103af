#pragma once

#include "platform/desktop/PointerHold.h"
#include "island/IslandWindowGeometry.h"

#include <QWidget>

#include <optional>

namespace quorvia {

// An invisible strip or corner along the island's border that resizes it.
class IslandResizeHandleView : public QWidget {
    Q_OBJECT
public:
    using Edge = IslandResizeEdge;

    explicit IslandResizeHandleView(Edge edge, QWidget* parent = nullptr);

    Edge edge() const { return edge_; }
    static Qt::CursorShape cursorShape(Edge edge);

    // The drag in global y-up points; the mouse handlers feed these.
    void beginDrag(platform::Point mouse);
    void dragTo(platform::Point mouse);
    void endDrag();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const Edge edge_;
    std::optional<platform::Rect> initialFrame_;
    std::optional<platform::Point> initialMouseLocation_;
    // The press's frame and pointer are in the laptop screen's space, which a
    // change of the displays leaves where it was: only the pointer is asked anew.
    platform::PointerHold hold_;
};

} // namespace quorvia
