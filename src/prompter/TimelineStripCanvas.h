#pragma once

#include "model/PromptTimelineBlock.h"
#include "prompter/TimelineStripDensity.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QDrag;
class QMimeData;

namespace quorvia {

class TimelineCardView;

// The strip's scrolling content: owns the cards and lays them out. It, not a
// card, takes every press, click and drag, since a reload (spoken progress
// included) may replace the cards while the button is held.
class TimelineStripCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TimelineStripCanvas(TimelineStripDensity density, QWidget* parent = nullptr);
    ~TimelineStripCanvas() override;

    void reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex);
    void updateFrame(double minimumWidth);
    void revealBlock(int index);

    const std::vector<TimelineCardView*>& cards() const { return cards_; }
    TimelineStripDensity density() const { return density_; }
    bool isDragging() const { return dragging_; }

    // Drop handling, also reached by synthetic drops in tests. Answers whether
    // the drop was taken (also when nothing moved).
    bool performDrop(const QMimeData* data, QPointF position);
    // The card under a point of the canvas, if any.
    std::optional<int> cardIndexAt(QPoint position) const;
    static std::optional<int> sourceIndex(const QMimeData* data);

    std::function<void(int index)> onSelect;
    std::function<void(int from, int to)> onMove;
    // Runs a started drag; the default runs the platform's drag loop. Tests
    // replace it to act while the drag is in progress.
    std::function<void(QDrag& drag)> runDrag;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void startDrag(int index, QPoint hotSpot);
    void updateCursor(QPoint position);

    TimelineStripDensity density_;
    std::vector<PromptTimelineBlock> blocks_;
    int selectedIndex_ = 0;
    std::vector<TimelineCardView*> cards_;
    bool dragging_ = false;
    // One press: the card it began on, where in that card, and whether it became a drag.
    std::optional<int> pressedIndex_;
    QPoint pressHotSpot_;
    bool dragStarted_ = false;
};

} // namespace quorvia
