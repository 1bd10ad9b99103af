#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

class QLabel;

namespace quorvia {

// One timeline card. Cards are rebuilt on every reload, so a card never starts
// or owns a drag itself: it asks the canvas, which outlives it.
class TimelineCardView : public QWidget {
    Q_OBJECT
public:
    TimelineCardView(int index, const QString& label, bool selected, QWidget* parent = nullptr);

    int index() const { return index_; }
    bool isSelected() const { return selected_; }
    QLabel* titleLabel() const { return titleLabel_; }
    // A bitmap of the card to follow the pointer while dragging.
    QPixmap dragImage();

    std::function<void(int index)> onSelect;
    // A press moved: the canvas starts the drag. `hotSpot` is the press point in the card.
    std::function<void(int index, QPoint hotSpot)> onDragStart;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int index_;
    bool selected_;
    QLabel* titleLabel_;
    bool dragStarted_ = false;
    QPoint pressPoint_;
};

} // namespace quorvia
