#pragma once

#include "platform/desktop/PointerHold.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace quorvia {

// The island's rounded near-black content view. A drag on any empty part of it
// moves the window.
class IslandBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit IslandBackgroundView(QWidget* parent = nullptr);

    // Lays the island's views out whenever the background changes size.
    std::function<void()> onLayout;
    // A right click on the background, at a point in Qt's global space.
    std::function<void(const QPoint&)> onContextMenu;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // In Qt's global space.
    void follow(QPointF pointer);

    // The pointer's offset from the window's top left while a drag holds it.
    std::optional<QPointF> grip_;
    platform::PointerHold hold_;
};

} // namespace quorvia
