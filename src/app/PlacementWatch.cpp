#include "app/PlacementWatch.h"

#include "platform/Platform.h"
#include "platform/desktop/PointerService.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QResizeEvent>

#include <algorithm>
#include <utility>

namespace quorvia {

namespace {
QRect frameOf(const QWidget& window)
{
    if (const auto* w = qobject_cast<const platform::Window*>(&window))
        return platform::toQtGlobal(w->frame());
    return window.frameGeometry();
}
} // namespace

PlacementWatch::PlacementWatch(QObject* parent) : QObject(parent)
{
    if (qApp)
        qApp->installEventFilter(this);
    // Our windows are judged once they have taken in where they stand.
    const auto told = [this](const platform::Notification& notification) {
        for (platform::Window* window : platform::Window::allWindows()) {
            if (window != notification.sender)
                continue;
            const QRect before = platform::toQtGlobal(window->formerFrame());
            judge(*window, before, before.marginsRemoved(window->decorationMargins()));
            return;
        }
    };
    auto& center = platform::NotificationCenter::defaultCenter();
    moves_ = center.observe(platform::Window::didMoveNotification, nullptr, told);
    resizes_ = center.observe(platform::Window::didResizeNotification, nullptr, told);
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
        // Input from before the change made none of the moves after it.
        if (platform::hasCurrent())
            inputBefore_ = std::max(platform::current().pointer().lastPress().number, platform::current().pointer().lastKey());
        windowManagerMovesLeft_ = windowManagerMovesAnswered;
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
    return pointer.isButtonHeld() && frameOf(window).contains(platform::toQtGlobal(pointer.lastPress().location).toPoint());
}

// Window managers tell a window of a drag by its title bar once the button is
// up, and of a move by the keyboard once it ends: the input before says whose.
bool PlacementWatch::isSpeakersMove(const QWidget& window, const QRect& before, const QRect& inner) const
{
    if (!platform::hasCurrent())
        return false;
    const auto& pointer = platform::current().pointer();
    const auto press = pointer.lastPress();
    const std::uint64_t key = pointer.lastKey();
    if (std::max(press.number, key) <= inputBefore_)
        return false;
    if (press.number > key) {
        // A click moves nothing; a drag is still held or let go elsewhere.
        const bool drags = !press.release || *press.release != press.location;
        const QPoint at = platform::toQtGlobal(press.location).toPoint();
        return drags && before.contains(at) && (press.withModifier || !inner.contains(at));
    }
    // Keys the window manager took while this window had the keyboard.
    return key > keyReceived_ && platform::Window::windowWithKeyboard() == &window;
}

void PlacementWatch::judge(QWidget& window, const QRect& before, const QRect& inner)
{
    if (placing_ || !placesWindow || !placesWindow(window))
        return;
    auto* ours = qobject_cast<platform::Window*>(&window);
    if (ours && ours->standsWhereAsked()) {
        // Our own grips ask for every step of the speaker's drag.
        if (draggedWindow_ == &window && !isTakenInHand(&window))
            speakers_.emplace_back(&window);
        return;
    }
    if (!isSpeakersMove(window, before, inner)) {
        if (windowManagerMovesLeft_ > 0 && onMovedByWindowManager) {
            --windowManagerMovesLeft_;
            onMovedByWindowManager(window);
        }
        return;
    }
    if (!isTakenInHand(&window))
        speakers_.emplace_back(&window);
    // Where the speaker left it is its place from now on.
    if (ours)
        ours->setFrame(ours->frame());
}

bool PlacementWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && event->spontaneous() && platform::hasCurrent()) {
        keyReceived_ = platform::current().pointer().lastKey();
        return false;
    }
    // A press alone moves nothing of the speaker's; the pointer moving while
    // held drags whatever our grip there moves.
    if (event->type() == QEvent::MouseMove && event->spontaneous() && static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton) {
        if (auto* widget = qobject_cast<QWidget*>(watched))
            draggedWindow_ = widget->window();
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease && event->spontaneous()) {
        draggedWindow_ = nullptr;
        return false;
    }
    if (event->type() != QEvent::Move && event->type() != QEvent::Resize)
        return false;
    auto* window = qobject_cast<QWidget*>(watched);
    // Our own windows are told by their own notices. A dialog we move is told
    // at once, and the server's echo of it changes nothing.
    if (!window || !window->isWindow() || qobject_cast<platform::Window*>(window) || !event->spontaneous())
        return false;
    // A dialog already stands at its new place as the move arrives.
    QPoint by;
    if (event->type() == QEvent::Move) {
        const auto& move = static_cast<const QMoveEvent&>(*event);
        by = move.pos() - move.oldPos();
        if (by.isNull())
            return false;
    } else if (const auto& resize = static_cast<const QResizeEvent&>(*event); resize.size() == resize.oldSize()) {
        return false;
    }
    judge(*window, window->frameGeometry().translated(-by), window->geometry().translated(-by));
    return false;
}

} // namespace quorvia
