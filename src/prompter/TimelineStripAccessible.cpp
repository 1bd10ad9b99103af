#include "prompter/TimelineStripAccessible.h"

#include "prompter/TimelineStripCanvas.h"

#include <QWindow>

namespace quorvia {

TimelineStripAccessible::TimelineStripAccessible(TimelineStripCanvas* canvas)
    : QAccessibleWidget(canvas, QAccessible::Client)
{
}

TimelineStripAccessible::~TimelineStripAccessible()
{
    forgetCardsFrom(0);
}

QAccessibleInterface* TimelineStripAccessible::create(const QString& className, QObject* object)
{
    if (className == QLatin1String(TimelineStripCanvas::staticMetaObject.className()) && object
        && object->isWidgetType())
        return new TimelineStripAccessible(static_cast<TimelineStripCanvas*>(object));
    return nullptr;
}

TimelineStripCanvas* TimelineStripAccessible::canvas() const
{
    return static_cast<TimelineStripCanvas*>(widget());
}

void TimelineStripAccessible::forgetCardsFrom(int count) const
{
    while (static_cast<int>(cards_.size()) > count) {
        if (cards_.back())
            QAccessible::deleteAccessibleInterface(cards_.back());
        cards_.pop_back();
    }
}

int TimelineStripAccessible::childCount() const
{
    const int count = canvas()->cardCount();
    if (static_cast<int>(cards_.size()) > count)
        forgetCardsFrom(count);
    return count;
}

QAccessibleInterface* TimelineStripAccessible::child(int index) const
{
    const int count = childCount();
    if (index < 0 || index >= count)
        return nullptr;
    if (cards_.size() <= static_cast<std::size_t>(index))
        cards_.resize(static_cast<std::size_t>(index) + 1, 0);
    QAccessible::Id& id = cards_[static_cast<std::size_t>(index)];
    if (!id)
        id = QAccessible::registerAccessibleInterface(new TimelineCardAccessible(canvas(), index));
    return QAccessible::accessibleInterface(id);
}

int TimelineStripAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* card = dynamic_cast<const TimelineCardAccessible*>(child);
    if (!card || card->index() >= childCount())
        return -1;
    return this->child(card->index()) == child ? card->index() : -1;
}

QAccessibleInterface* TimelineStripAccessible::childAt(int x, int y) const
{
    const std::optional<int> index = canvas()->cardIndexAt(canvas()->mapFromGlobal(QPoint(x, y)));
    return index ? child(*index) : nullptr;
}

TimelineCardAccessible::TimelineCardAccessible(TimelineStripCanvas* canvas, int index)
    : canvas_(canvas), index_(index)
{
}

bool TimelineCardAccessible::isValid() const
{
    return canvas_ && index_ < canvas_->cardCount();
}

QWindow* TimelineCardAccessible::window() const
{
    return canvas_ ? canvas_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* TimelineCardAccessible::parent() const
{
    return canvas_ ? QAccessible::queryAccessibleInterface(canvas_.data()) : nullptr;
}

QString TimelineCardAccessible::text(QAccessible::Text t) const
{
    if (!isValid() || t != QAccessible::Name)
        return {};
    return canvas_->card(index_).accessibleName();
}

QRect TimelineCardAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect frame = canvas_->card(index_).frame;
    return QRect(canvas_->mapToGlobal(frame.topLeft()), frame.size());
}

QAccessible::State TimelineCardAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    // Scrolled out of the strip's view, or the strip itself not shown.
    const QRect frame = canvas_->card(index_).frame;
    state.invisible = !canvas_->isVisible();
    state.offscreen = state.invisible || canvas_->visibleRegion().intersected(frame).isEmpty();
    return state;
}

void* TimelineCardAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList TimelineCardAccessible::actionNames() const
{
    return {pressAction()};
}

void TimelineCardAccessible::doAction(const QString& actionName)
{
    if (actionName == pressAction() && isValid())
        canvas_->selectCard(index_);
}

} // namespace quorvia
