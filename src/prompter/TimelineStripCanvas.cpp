#include "prompter/TimelineStripCanvas.h"

#include "prompter/TimelineBlockIndex.h"
#include "prompter/TimelineStripAccessible.h"
#include "prompter/TimelineStripGeometry.h"

#include "look/TextStyle.h"

#include <QAccessible>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace quorvia {
namespace {

QScrollArea* enclosingScrollArea(QWidget* canvas)
{
    // The canvas sits in the scroll area's viewport.
    QWidget* viewport = canvas->parentWidget();
    return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
}

bool sameLabels(const std::vector<PromptTimelineBlock>& a, const std::vector<PromptTimelineBlock>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const PromptTimelineBlock& x, const PromptTimelineBlock& y) { return x.label == y.label; });
}

} // namespace

TimelineStripCanvas::TimelineStripCanvas(TimelineStripDensity density, QWidget* parent)
    : QWidget(parent), density_(density)
{
    setAcceptDrops(true);
    setMouseTracking(true);
    runDrag = [](QDrag& drag) { drag.exec(Qt::MoveAction, Qt::MoveAction); };
    static std::once_flag accessibleFactory;
    std::call_once(accessibleFactory, [] { QAccessible::installFactory(TimelineStripAccessible::create); });
}

TimelineStripCanvas::~TimelineStripCanvas() = default;

void TimelineStripCanvas::reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex)
{
    // Spoken progress reloads on every recognised word with nothing to show.
    const bool changed = selectedIndex != selectedIndex_ || !sameLabels(blocks, blocks_);
    blocks_ = blocks;
    selectedIndex_ = selectedIndex;
    titles_.resize(blocks_.size());
    if (const QScrollArea* scrollArea = enclosingScrollArea(this))
        updateFrame(scrollArea->viewport()->width(), scrollArea->viewport()->height());
    else
        updateFrame(0, timelineTotalHeight(density_));
    if (changed)
        update();
}

void TimelineStripCanvas::updateFrame(double minimumWidth, double maximumHeight)
{
    // Only the size: where the canvas stands is the scroll area's, by the
    // scroller's value. Moving it here would leave the two disagreeing.
    const double width = timeline_geometry::canvasWidth(density_, cardCount(), minimumWidth);
    // Never taller than what shows: the scroller's room comes out of the
    // empty band under the rows, not out of a vertical range.
    const double height = std::min(timelineTotalHeight(density_), maximumHeight);
    resize(qRound(width), std::max(0, qRound(height)));
}

TimelineCardView TimelineStripCanvas::card(int index) const
{
    const auto& block = blocks_.at(static_cast<std::size_t>(index));
    return {index, block.label, index == selectedIndex_,
            timeline_geometry::cardFrame(density_, index, block.kind()).toRect()};
}

QFont TimelineStripCanvas::titleFont() const
{
    QFont font = this->font();
    font.setPixelSize(TimelineCardTitle::largestPixelSize);
    font.setWeight(QFont::DemiBold);
    return monospacedDigitFont(font);
}

const TimelineCardTitle& TimelineStripCanvas::cardTitle(int index) const
{
    const auto& label = blocks_.at(static_cast<std::size_t>(index)).label;
    auto& fitted = titles_[static_cast<std::size_t>(index)];
    if (!fitted || fitted->label != label) {
        const int room = std::max(0, qRound(timelineCardSize(density_).width()) - 6);
        fitted = FittedTitle{label, TimelineCardTitle::fit(label, titleFont(), room)};
    }
    return fitted->title;
}

void TimelineStripCanvas::revealBlock(int index)
{
    if (index < 0 || index >= cardCount())
        return;
    QScrollArea* scrollArea = enclosingScrollArea(this);
    if (!scrollArea)
        return;
    const QRect frame = card(index).frame;
    const double gap = timelineSlotGap(density_);
    QScrollBar* bar = scrollArea->horizontalScrollBar();
    const double offset = timeline_geometry::revealOffset(bar->value(), scrollArea->viewport()->width(),
                                                          frame.left() - gap, frame.left() + frame.width() + gap);
    bar->setValue(qRound(offset));
}

std::optional<int> TimelineStripCanvas::cardIndexAt(QPoint position) const
{
    if (position.x() < 0)
        return std::nullopt;
    const int column = static_cast<int>(std::floor(position.x() / timelineColumnStep(density_)));
    if (column >= cardCount() || !card(column).frame.contains(position))
        return std::nullopt;
    return column;
}

void TimelineStripCanvas::selectCard(int index)
{
    if (index >= 0 && index < cardCount() && onSelect)
        onSelect(index);
}

void TimelineStripCanvas::paintEvent(QPaintEvent* event)
{
    if (blocks_.empty())
        return;
    // Only the columns the exposed area touches: a long script is mostly out of view.
    const double step = timelineColumnStep(density_);
    const QRect area = event->rect();
    const int first = std::max(0, static_cast<int>(std::floor(area.left() / step)));
    const int last = std::min(cardCount() - 1, static_cast<int>(std::floor(area.right() / step)));
    QPainter painter(this);
    for (int i = first; i <= last; ++i) {
        const TimelineCardView view = card(i);
        if (view.frame.intersects(area))
            view.paint(painter, cardTitle(i));
    }
}

void TimelineStripCanvas::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        titles_.assign(blocks_.size(), std::nullopt);
        update();
    }
    QWidget::changeEvent(event);
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
        pressHotSpot_ = position - card(*pressedIndex_).frame.topLeft();
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
    if (pressed && !dragStarted_)
        selectCard(*pressed);
    updateCursor(event->position().toPoint());
}

void TimelineStripCanvas::startDrag(int index, QPoint hotSpot)
{
    // A reload since the press may have taken the card away; the column still names the block.
    if (dragging_ || index < 0 || index >= cardCount())
        return;
    auto* data = new QMimeData;
    data->setData(timeline_block_index::mimeType(), timeline_block_index::encode(index));
    QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(card(index).dragImage(cardTitle(index), devicePixelRatioF()));
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
    const std::optional<int> destination = timeline_geometry::dropDestination(density_, position.x(), cardCount());
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
