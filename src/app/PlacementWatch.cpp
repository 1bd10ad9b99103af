#include "app/PlacementWatch.h"

#include "platform/Platform.h"
#include "platform/desktop/PointerService.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"

#include <QApplication>
#include <QMoveEvent>

#include <algorithm>
#include <utility>

namespace quorvia {

namespace {
platform::Rect frameOf(const QWidget& window)
{
    if (const auto* w = qobject_cast<const platform::Window*>(&window))
        return w->frame();
    return platform::fromQtGlobal(QRectF(window.frameGeometry()));
}
} // namespace

PlacementWatch::PlacementWatch(QObject* parent) : QObject(parent)
{
    if (qApp)
        qApp->installEventFilter(this);
}

PlacementWatch::~PlacementWatch()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void PlacementWatch::place(bool afresh, const std::function<void()>& place)
{
    if (afresh) {
        speakers_.clear();
        if (platform::hasCurrent())
            pressesBeforePlacing_ = platform::current().pointer().lastPress().number;
        windowManagerMovesLeft_ = windowManagerMovesAnswered;
        hasPlaced_ = true;
    }
    const bool was = std::exchange(placing_, true);
    place();
    placing_ = was;
}

bool PlacementWatch::isSpeakers(const QWidget* window) const
{
    if (!window)
        return false;
    return isTakenInHand(window) || isHeldNow(*window);
}

bool PlacementWatch::isTakenInHand(const QWidget* window) const
{
    return std::ranges::any_of(speakers_, [window](const QPointer<QWidget>& w) { return w == window; });
}

bool PlacementWatch::isHeldNow(const QWidget& window) const
{
    if (!window.isVisible() || !platform::hasCurrent())
        return false;
    const auto& pointer = platform::current().pointer();
    return pointer.isButtonHeld() && frameOf(window).contains(pointer.lastPress().location);
}

// A window manager's drag by a title bar tells the window nothing until the
// button is up again; the press on the window before it says whose it was.
bool PlacementWatch::isSpeakersMove(const QWidget& window, const QEvent& event) const
{
    if (!platform::hasCurrent())
        return false;
    const auto& pointer = platform::current().pointer();
    if (pointer.isButtonHeld())
        return true;
    const auto press = pointer.lastPress();
    if (press.number <= pressesBeforePlacing_)
        return false;
    platform::Rect before = frameOf(window);
    // A dialog already stands at its new place as the move arrives; ours not yet.
    if (event.type() == QEvent::Move && !qobject_cast<const platform::Window*>(&window)) {
        const auto& move = static_cast<const QMoveEvent&>(event);
        before.origin.x -= move.pos().x() - move.oldPos().x();
        before.origin.y += move.pos().y() - move.oldPos().y();
    }
    return before.contains(press.location);
}

bool PlacementWatch::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() != QEvent::Move && event->type() != QEvent::Resize) || placing_ || !hasPlaced_)
        return false;
    auto* window = qobject_cast<QWidget*>(watched);
    if (!window || !window->isWindow() || !placesWindow || !placesWindow(*window) || isTakenInHand(window))
        return false;
    if (isSpeakersMove(*window, *event)) {
        speakers_.emplace_back(window);
        return false;
    }
    if (windowManagerMovesLeft_ > 0 && onMovedByWindowManager) {
        --windowManagerMovesLeft_;
        onMovedByWindowManager(*window);
    }
    return false;
}

} // namespace quorvia
