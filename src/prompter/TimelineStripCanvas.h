#pragma once

#include "model/PromptTimelineBlock.h"
#include "prompter/TimelineCardTitle.h"
#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripDensity.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QDrag;
class QMimeData;

namespace quorvia {

// The strip's scrolling content: draws the cards, lays them out and takes
// every press, click and drag over them. It makes no widget per card, so a
// reload costs what the blocks cost and holds nothing the press or a running
// drag could lose; assistive technology reaches each card as a button through
// the canvas's accessible children.
class TimelineStripCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TimelineStripCanvas(TimelineStripDensity density, QWidget* parent = nullptr);
    ~TimelineStripCanvas() override;

    void reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex);
    // At least as wide as the visible area, and no taller than it.
    void updateFrame(double minimumWidth, double maximumHeight);
    void revealBlock(int index);

    int cardCount() const { return static_cast<int>(blocks_.size()); }
    // The card at a valid index, where it stands and how it looks.
    TimelineCardView card(int index) const;
    // Its label fitted to the card: shrunk, then cut short at the floor size.
    const TimelineCardTitle& cardTitle(int index) const;
    // The card under a point of the canvas, if any.
    std::optional<int> cardIndexAt(QPoint position) const;
    // A click on a card, or its press action from assistive technology.
    void selectCard(int index);

    TimelineStripDensity density() const { return density_; }
    bool isDragging() const { return dragging_; }

    // Drop handling, also reached by synthetic drops in tests. Answers whether
    // the drop was taken (also when nothing moved).
    bool performDrop(const QMimeData* data, QPointF position);
    static std::optional<int> sourceIndex(const QMimeData* data);

    std::function<void(int index)> onSelect;
    std::function<void(int from, int to)> onMove;
    // Runs a started drag; the default runs the platform's drag loop. Tests
    // replace it to act while the drag is in progress.
    std::function<void(QDrag& drag)> runDrag;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct FittedTitle {
        QString label;
        TimelineCardTitle title;
    };

    void startDrag(int index, QPoint hotSpot);
    void updateCursor(QPoint position);
    QFont titleFont() const;

    TimelineStripDensity density_;
    std::vector<PromptTimelineBlock> blocks_;
    int selectedIndex_ = 0;
    // Fitted on first paint of a card and kept while its label stays.
    mutable std::vector<std::optional<FittedTitle>> titles_;
    bool dragging_ = false;
    // One press: the card it began on, where in that card, and whether it became a drag.
    std::optional<int> pressedIndex_;
    QPoint pressHotSpot_;
    bool dragStarted_ = false;
};

} // namespace quorvia
