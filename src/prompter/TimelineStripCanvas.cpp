#include "prompter/TimelineStripCanvas.h"

#include "prompter/TimelineBlockIndex.h"
#include "prompter/TimelineCardView.h"
#include "prompter/TimelineStripGeometry.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
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
    runDrag = [](QDrag& drag) { drag.exec(Qt::MoveAction, Qt::MoveAction); };
}

TimelineStripCanvas::~TimelineStripCanvas() = default;

void TimelineStripCanvas::reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex)
{
    blocks_ = blocks;
    selectedIndex_ = selectedIndex;
    for (TimelineCardView* card : cards_)
        retire(card);
    cards_.clear();

    QPointer<TimelineStripCanvas> self(this);
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const int index = static_cast<int>(i);
        auto* card = new TimelineCardView(index, blocks_[i].label, index == selectedIndex, this);
        card->onSelect = [self](int index) {
            if (self && self->onSelect)
                self->onSelect(index);
        };
        card->onDragStart = [self](int index, QPoint hotSpot) {
            if (self)
                self->startDrag(index, hotSpot);
        };
        card->show();
        cards_.push_back(card);
    }
    const QScrollArea* scrollArea = enclosingScrollArea(this);
    updateFrame(scrollArea ? scrollArea->viewport()->width() : 0);
}

void TimelineStripCanvas::retire(TimelineCardView* card)
{
    card->hide();
    card->onSelect = nullptr;
    card->onDragStart = nullptr;
    // The drag loop runs inside the source card's own mouse handler: that card
    // must live until the loop is over; the others may be inside a click.
    if (dragging_ && card == dragSource_)
        dragSourceRetired_ = true;
    else
        card->deleteLater();
}

void TimelineStripCanvas::updateFrame(double minimumWidth)
{
    const int count = static_cast<int>(blocks_.size());
    const double width = timeline_geometry::canvasWidth(density_, count, minimumWidth);
    setGeometry(0, 0, qRound(width), qRound(timelineTotalHeight(density_)));
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

void TimelineStripCanvas::startDrag(int index, QPoint hotSpot)
{
    if (dragging_ || index < 0 || index >= static_cast<int>(cards_.size()))
        return;
    TimelineCardView* card = cards_[static_cast<std::size_t>(index)];
    auto* data = new QMimeData;
    data->setData(timeline_block_index::mimeType(), timeline_block_index::encode(index));
    QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(card->dragImage());
    drag->setHotSpot(hotSpot);

    QPointer<TimelineStripCanvas> self(this);
    dragging_ = true;
    dragSource_ = card;
    dragSourceRetired_ = false;
    runDrag(*drag);
    if (drag)
        drag->deleteLater();
    if (!self)
        return;
    dragging_ = false;
    if (dragSourceRetired_ && dragSource_)
        dragSource_->deleteLater();
    dragSource_ = nullptr;
    dragSourceRetired_ = false;
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
