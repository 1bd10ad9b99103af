#include "prompter/TimelineStripCanvas.h"

#include "prompter/TimelineBlockIndex.h"
#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripGeometry.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

namespace quorvia {
namespace {

QScrollArea* enclosingScrollArea(QWidget* canvas)
{
    // The canvas sits in the scroll area's viewport.
    QWidget* viewport = canvas->parentWidget();
    return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
}

} // namespace

TimelineStripCanvas::TimelineStripCanvas(TimelineStripDensity density, QWidget* parent)
    : QWidget(parent), density_(density)
{
    setAcceptDrops(true);
    setMouseTracking(true);
    runDrag = [](QDrag& drag) { drag.exec(Qt::MoveAction, Qt::MoveAction); };
}

TimelineStripCanvas::~TimelineStripCanvas() = default;

void TimelineStripCanvas::reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex)
{
    blocks_ = blocks;
    selectedIndex_ = selectedIndex;
    // Spoken progress reloads on every recognised word: the cards there are
    // kept and shown their block in place, and only the count changes widgets.
    // No card ever handles an event, so none is on the stack here.
    while (cards_.size() > blocks_.size()) {
        delete cards_.back();
        cards_.pop_back();
    }
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const int index = static_cast<int>(i);
        if (i < cards_.size()) {
            cards_[i]->setContent(index, blocks_[i].label, index == selectedIndex);
            continue;
        }
        auto* card = new TimelineCardView(index, blocks_[i].label, index == selectedIndex, this);
        card->show();
        cards_.push_back(card);
    }
    const QScrollArea* scrollArea = enclosingScrollArea(this);
    updateFrame(scrollArea ? scrollArea->viewport()->width() : 0);
}

void TimelineStripCanvas::updateFrame(double minimumWidth)
{
    const int count = static_cast<int>(blocks_.size());
    const double width = timeline_geometry::canvasWidth(density_, count, minimumWidth);
    // Only the size: where the canvas stands belongs to the scroll area, by the
    // scroller's value; moving it here would leave the two disagreeing.
    resize(qRound(width), qRound(timelineTotalHeight(density_)));
    for (std::size_t i = 0; i < cards_.size() && i < blocks_.size(); ++i)
        cards_[i]->setGeometry(timeline_geometry::cardFrame(density_, static_cast<int>(i), blocks_[i].kind()).toRect());
}

void TimelineStripCanvas::revealBlock(int index)
{
    if (index < 0 || index >= static_cast<int>(cards_.size()))
        return;
    QScrollArea* scrollArea = enclosingScrollArea(this);
    if (!scrollArea)
        return;
    const QRect frame = cards_[static_cast<std::size_t>(index)]->geometry();
    const double gap = timelineSlotGap(density_);
    QScrollBar* bar = scrollArea->horizontalScrollBar();
    const double offset = timeline_geometry::revealOffset(bar->value(), scrollArea->viewport()->width(),
                                                          frame.left() - gap, frame.left() + frame.width() + gap);
    bar->setValue(qRound(offset));
}

std::optional<int> TimelineStripCanvas::cardIndexAt(QPoint position) const
{
    for (std::size_t i = 0; i < cards_.size(); ++i)
        if (cards_[i]->geometry().contains(position))
            return static_cast<int>(i);
    return std::nullopt;
}

void TimelineStripCanvas::updateCursor(QPoint position)
{
    setCursor(cardIndexAt(position) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TimelineStripCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint position = event->position().toPoint();
    pressedIndex_ = cardIndexAt(position);
    dragStarted_ = false;
    if (pressedIndex_)
        pressHotSpot_ = position - cards_[static_cast<std::size_t>(*pressedIndex_)]->pos();
    event->accept();
}

void TimelineStripCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        updateCursor(event->position().toPoint());
        return;
    }
    // The first movement of a press starts the drag; later ones belong to it.
    if (!pressedIndex_ || dragStarted_)
        return;
    dragStarted_ = true;
    startDrag(*pressedIndex_, pressHotSpot_);
}

void TimelineStripCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const std::optional<int> pressed = pressedIndex_;
    pressedIndex_.reset();
    if (pressed && !dragStarted_ && onSelect)
        onSelect(*pressed);
    updateCursor(event->position().toPoint());
}

void TimelineStripCanvas::startDrag(int index, QPoint hotSpot)
{
    // The cards may have been rebuilt since the press; the column still names the block.
    if (dragging_ || index < 0 || index >= static_cast<int>(cards_.size()))
        return;
    auto* data = new QMimeData;
    data->setData(timeline_block_index::mimeType(), timeline_block_index::encode(index));
    QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(cards_[static_cast<std::size_t>(index)]->dragImage());
    drag->setHotSpot(hotSpot);

    QPointer<TimelineStripCanvas> self(this);
    dragging_ = true;
    runDrag(*drag);
    if (drag)
        drag->deleteLater();
    if (self)
        dragging_ = false;
}

std::optional<int> TimelineStripCanvas::sourceIndex(const QMimeData* data)
{
    if (!data || !data->hasFormat(timeline_block_index::mimeType()))
        return std::nullopt;
    return timeline_block_index::parse(data->data(timeline_block_index::mimeType()));
}

bool TimelineStripCanvas::performDrop(const QMimeData* data, QPointF position)
{
    const std::optional<int> source = sourceIndex(data);
    if (!source)
        return false;
    const std::optional<int> destination =
        timeline_geometry::dropDestination(density_, position.x(), static_cast<int>(blocks_.size()));
    if (!destination)
        return false;
    if (*destination != *source && onMove)
        onMove(*source, *destination);
    return true;
}

void TimelineStripCanvas::dragEnterEvent(QDragEnterEvent* event)
{
    if (sourceIndex(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TimelineStripCanvas::dragMoveEvent(QDragMoveEvent* event)
{
    if (sourceIndex(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TimelineStripCanvas::dropEvent(QDropEvent* event)
{
    if (performDrop(event->mimeData(), event->position())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace quorvia
