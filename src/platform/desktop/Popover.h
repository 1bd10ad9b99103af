#pragma once

#include "platform/desktop/Window.h"

namespace quorvia::platform {

// A transient popup beside an anchor widget; it closes on a click outside.
// Like every private surface it is left out of capture.
class Popover : public Window {
    Q_OBJECT
public:
    enum class Edge { minY, maxY };

    explicit Popover(QWidget* content);

    // Prefers the anchor's given edge (maxY is above it) and flips to the
    // other side where the screen has no room.
    void show(QWidget* anchor, Edge preferredEdge = Edge::maxY);
    bool isShown() const { return isVisible(); }
    void dismiss() { close(); }

    // The frame to take, in Qt's global space, for an anchor rectangle.
    static QRect placement(const QRect& anchor, const QSize& size, const QRect& screen, Edge preferredEdge);

    std::function<void()> onClose;

protected:
    void hideEvent(QHideEvent* event) override;
};

} // namespace quorvia::platform
