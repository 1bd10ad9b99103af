#pragma once

#include <QScrollArea>

#include <functional>

namespace quorvia {

// The strip's scroll area: it moves only sideways, so every wheel, the
// ordinary vertical one included, scrolls the cards left and right.
class TimelineStripScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit TimelineStripScrollArea(QWidget* parent = nullptr);

    // The visible area changed size, as when the scroller shows or hides.
    std::function<void()> onViewportResized;

protected:
    bool viewportEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

} // namespace quorvia
