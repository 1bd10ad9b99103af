#include "app/PlacementWatch.h"

#include "platform/Platform.h"
#include "platform/desktop/PointerService.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QResizeEvent>

#include <algorithm>
#include <utility>

namespace quorvia {

PlacementWatch::PlacementWatch(QObject* parent) : QObject(parent)
{
    if (qApp)
        qApp->installEventFilter(this);
    // Input is counted from the start on, so the speaker's first move is known as theirs.
    forgetInput();
    // A press is spent, or its untold drag taken, as its button goes up.
    if (platform::hasCurrent())
        platform::current().pointer().onPressEnded = [this] { pressEnded(); };
    changes_ = platform::NotificationCenter::defaultCenter().observe(
        platform::Window::frameWillBeAnsweredNotification, nullptr, [this](const platform::Notification& notification) {
            for (platform::Window* window : platform::Window::allWindows()) {
                if (window != notification.sender)
                    continue;
                judge(*window, platform::toQtGlobal(window->formerFrame()).marginsRemoved(window->decorationMargins()));
                return;
            }
        });
}

PlacementWatch::~PlacementWatch()
{
    if (platform::hasCurrent())
        platform::current().pointer().onPressEnded = nullptr;
    if (qApp)
        qApp->removeEventFilter(this);
}

static bool gripsByWindowManager(const platform::PointerService::Press& press, const QRect& stood);

void PlacementWatch::place(bool afresh, const std::function<void()>& place)
{
    if (afresh) {
        speakers_.clear();
        windowManagerMovesLeft_ = windowManagerMovesAnswered;
        if (platform::hasCurrent())
            pressAtLastChange_ = platform::current().pointer().lastPress().number;
        // After the clearing: a drag let go since the change began, untold
        // till now, stays where it was let go.
        forgetInput(true);
    }
    const bool was = std::exchange(placing_, true);
    // A window the window manager let go of mid-drag first takes back its
    // place, at its size then, which the placing may move it from.
    if (auto* cut = qobject_cast<platform::Window*>(std::exchange(cutWindow_, nullptr).data()))
        cut->returnToPlace();
    // The speaker's windows go back where they left them (a panel come and
    // gone, a clamp), but for one they hold now.
    for (const auto& window : speakers_)
        if (auto* ours = qobject_cast<platform::Window*>(window.data()); ours && ours->isVisible() && !isHeldNow(*ours))
            ours->returnToPlace();
    // Our own grips and handles carry on a window they drag through it: it
    // stays the speaker's, and stands where they last asked, though a hide
    // kept that from the server.
    if (const auto held = heldPress(); held && held->window == draggedWindow_ && !gripsByWindowManager(*held, {}))
        if (auto* ours = qobject_cast<platform::Window*>(held->window.data())) {
            ours->returnToPlace();
            takeInHand(*ours);
        }
    place();
    placing_ = was;
    if (afresh)
        takeOverHeldResize();
}

void PlacementWatch::forgetInput(bool keepHeldPress)
{
    if (!platform::hasCurrent())
        return;
    adoptUntoldDrag();
    const auto& pointer = platform::current().pointer();
    // A drag still held through a change of the displays is the speaker's:
    // where they let it go is its place.
    const auto held = keepHeldPress ? heldPress() : std::nullopt;
    spentInput_ = std::max({spentInput_, pointer.lastPress().number, pointer.lastKey().number});
    if (held)
        spentInput_ = held->number - 1;
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

void PlacementWatch::takeInHand(QWidget& window)
{
    if (!isTakenInHand(&window))
        speakers_.emplace_back(&window);
}

std::optional<platform::PointerService::Press> PlacementWatch::heldPress() const
{
    if (!platform::hasCurrent())
        return std::nullopt;
    const auto& pointer = platform::current().pointer();
    auto press = pointer.lastPress();
    if (press.number <= spentInput_ || !press.window || press.release || !pointer.isButtonHeld())
        return std::nullopt;
    return press;
}

bool PlacementWatch::isHeldNow(const QWidget& window) const
{
    const auto press = heldPress();
    return press && press->window == &window;
}

void PlacementWatch::cutHeldPress(QWidget& window)
{
    // Our own grip carries a hidden window on.
    const auto press = heldPress();
    if (!press || press->window != &window || draggedWindow_ == &window)
        return;
    spentInput_ = press->number;
    cutPress_ = press->number;
    cutWindow_ = &window;
}

// On the title bar or border as the window stood at the press, not where a
// drag of our own grip has carried it since; or anywhere with Alt or Super.
static bool gripsByWindowManager(const platform::PointerService::Press& press, const QRect& stood)
{
    const QRect at = press.area ? platform::toQtGlobal(*press.area) : stood;
    return press.withModifier || !at.contains(platform::toQtGlobal(press.location).toPoint());
}

// By the title bar or with Alt or Super held, not by a border.
static bool movesWhole(const platform::PointerService::Press& press)
{
    const QRect at = platform::toQtGlobal(*press.area);
    const QPoint on = platform::toQtGlobal(press.location).toPoint();
    return press.withModifier || (on.y() < at.top() && on.x() >= at.left() && on.x() <= at.right());
}

// A window manager carries a window it moves whole at its size at the press;
// the program may have resized it since (the island taking back the prompter).
static QRect carriedFrame(const platform::Window& window, const platform::PointerService::Press& press, QRect told)
{
    if (!press.area || press.number < platform::current().pointer().lastKey().number || !movesWhole(press))
        return told;
    const QSize atPress = platform::toQtGlobal(*press.area).marginsAdded(window.decorationMargins()).size();
    if (const QSize asked = platform::toQtGlobal(window.askedFrame()).size(); told.size() == atPress && asked != atPress)
        told.setSize(asked);
    return told;
}

void PlacementWatch::learnResize(const platform::PointerService::Press& press, const QWidget& window, const QRect& told)
{
    const auto* ours = qobject_cast<const platform::Window*>(&window);
    if (!ours || !press.area || movesWhole(press))
        return;
    if (resize_.press != press.number)
        resize_ = HeldResize{press.number, {}, {}, {}, {}};
    // The window manager's own frames leave the edges it does not move where
    // they stood at the press; other frames (a clamp's, ours) teach nothing.
    const QRect at = platform::toQtGlobal(*press.area).marginsAdded(ours->decorationMargins());
    Qt::Edges same, moved;
    (told.left() == at.left() ? same : moved) |= Qt::LeftEdge;
    (told.right() == at.right() ? same : moved) |= Qt::RightEdge;
    (told.top() == at.top() ? same : moved) |= Qt::TopEdge;
    (told.bottom() == at.bottom() ? same : moved) |= Qt::BottomEdge;
    if (same && moved)
        resize_.edges |= moved;
}

void PlacementWatch::takeOverHeldResize()
{
    const auto press = heldPress();
    auto* ours = press ? qobject_cast<platform::Window*>(press->window.data()) : nullptr;
    if (!ours || !ours->isVisible() || resize_.press != press->number || !resize_.edges || !placesWindow || !placesWindow(*ours))
        return;
    // Taken over already, it carries on from where the newest change left it.
    if (!resize_.window) {
        if (!platform::current().windowSystem() || !platform::current().windowSystem()->stopManagersDrag(*ours))
            return;
        hand_.onMove = [this](QPointF pointer) { carryResize(pointer, false); };
        hand_.onRelease = [this](std::optional<QPointF> at) { carryResize(at.value_or(QCursor::pos()), true); };
        hand_.begin(QCursor::pos());
    }
    resize_.window = ours;
    ours->readBackFrame();
    ours->keepFrame(ours->frame());
    resize_.stood = platform::toQtGlobal(ours->frame());
    carryResize(QCursor::pos(), false);
}

// Until the release, or a hide that cuts it.
bool PlacementWatch::isCarried(const QWidget& window) const
{
    return resize_.window == &window && isHeldNow(window);
}

void PlacementWatch::carryResize(QPointF pointer, bool letGo)
{
    const auto press = platform::current().pointer().lastPress();
    auto* ours = qobject_cast<platform::Window*>(resize_.window.data());
    // A hide cut the resize: the window goes back to its place.
    if (!ours || press.number != resize_.press || press.number <= spentInput_ || !press.area || !ours->isVisible()) {
        if (letGo)
            resize_.window = nullptr;
        return;
    }
    // The held edges keep as far from the hand as they were at the press; the
    // others stay where the window stood.
    const QRect at = platform::toQtGlobal(*press.area).marginsAdded(ours->decorationMargins());
    const QPoint by = pointer.toPoint() - platform::toQtGlobal(press.location).toPoint();
    const QSize least = ours->minimumSize().grownBy(ours->decorationMargins());
    QRect to = resize_.stood;
    if (resize_.edges & Qt::LeftEdge)
        to.setLeft(std::min(at.left() + by.x(), to.right() + 1 - least.width()));
    else if (resize_.edges & Qt::RightEdge)
        to.setRight(std::max(at.right() + by.x(), to.left() - 1 + least.width()));
    if (resize_.edges & Qt::TopEdge)
        to.setTop(std::min(at.top() + by.y(), to.bottom() + 1 - least.height()));
    else if (resize_.edges & Qt::BottomEdge)
        to.setBottom(std::max(at.bottom() + by.y(), to.top() - 1 + least.height()));
    // Bounded as a resize from where it stood: an edge stops short of the
    // screen's. Held, its place stays where it was for a hide to take it back to.
    const auto from = platform::fromQtGlobal(QRectF(resize_.stood));
    if (letGo)
        ours->setFrame(platform::fromQtGlobal(QRectF(to)), from);
    else
        ours->keepFrame(platform::fromQtGlobal(QRectF(to)), from);
    resize_.carried = platform::toQtGlobal(ours->frame());
    if (!letGo)
        return;
    resize_.window = nullptr;
    spentInput_ = std::max(spentInput_, press.number);
    takeInHand(*ours);
}

void PlacementWatch::pressEnded()
{
    const bool settled = !isSettled || isSettled();
    // A resize the program carries ends as its own hand tells.
    if (placing_ || !settled || (resize_.window && platform::current().pointer().lastPress().number == resize_.press))
        return;
    spendEndedInput();
    adoptUntoldDrag();
}

// A window manager that lost track of a window mid-drag (hidden and shown
// again as the displays changed) may carry it on and never tell it where it
// left it, or tell it while a hold keeps it hidden: the server's word at the
// release says where the speaker left it.
void PlacementWatch::adoptUntoldDrag()
{
    const auto& pointer = platform::current().pointer();
    const auto press = pointer.lastPress();
    auto* ours = qobject_cast<platform::Window*>(press.window.data());
    if (!press.release || !press.area || *press.release == press.location || !ours || !placesWindow || !placesWindow(*ours))
        return;
    QRect ended;
    if (press.number == std::exchange(cutPress_, 0)) {
        // A drag a hold cut and the hand carried on (the emergency key's
        // hide) is where the hand let go; not a resize, nor across a change.
        if (press.number <= pressAtLastChange_ || !movesWhole(press))
            return;
        ended = platform::toQtGlobal(*press.area).translated((platform::toQtGlobal(*press.release) - platform::toQtGlobal(press.location)).toPoint());
    } else {
        if (press.number <= spentInput_ || press.number < pointer.lastKey().number || !press.areaAtRelease || !gripsByWindowManager(press, {}))
            return;
        ended = platform::toQtGlobal(*press.areaAtRelease);
        if (ended == platform::toQtGlobal(*press.area))
            return;
    }
    spentInput_ = std::max(spentInput_, press.number);
    takeInHand(*ours);
    const QMargins decorations = ours->decorationMargins();
    ended = carriedFrame(*ours, press, ended.marginsAdded(decorations)).marginsRemoved(decorations);
    if (ended != platform::toQtGlobal(ours->placeFrame()).marginsRemoved(decorations))
        ours->setFrame(platform::fromQtGlobal(QRectF(ended.marginsAdded(decorations))),
                       platform::fromQtGlobal(QRectF(platform::toQtGlobal(*press.area).marginsAdded(decorations))));
}

// Nothing is left to tell of an input that ended with its window where it
// stood at the input, or where the program itself last put it.
static bool leftNothingToTell(const QWidget* window, const std::optional<platform::Rect>& at, const std::optional<platform::Rect>& ended)
{
    if (!window || !at || !ended)
        return false;
    const QRect end = platform::toQtGlobal(*ended);
    if (end == platform::toQtGlobal(*at))
        return true;
    const auto* ours = qobject_cast<const platform::Window*>(window);
    return ours && end == platform::toQtGlobal(ours->askedFrame()).marginsRemoved(ours->decorationMargins());
}

void PlacementWatch::spendEndedInput()
{
    const auto& pointer = platform::current().pointer();
    const auto press = pointer.lastPress();
    const auto key = pointer.lastKey();
    if (press.number > key.number) {
        if (press.number <= spentInput_ || !press.release || !leftNothingToTell(press.window, press.area, press.areaAtRelease))
            return;
        spentInput_ = press.number;
        // The window manager's drag that ended where the program last put the
        // window moved it all the same.
        if (press.window && *press.release != press.location && *press.areaAtRelease != *press.area && gripsByWindowManager(press, {})) {
            takeInHand(*press.window);
            if (auto* ours = qobject_cast<platform::Window*>(press.window.data()))
                ours->setFrame(ours->frame(), platform::fromQtGlobal(QRectF(platform::toQtGlobal(*press.area).marginsAdded(ours->decorationMargins()))));
        }
        return;
    }
    if (key.number <= spentInput_)
        return;
    // A move by the keyboard runs over many keys: the window stands where the
    // first of them found it once nothing moved.
    const auto keys = pointer.keysAfter(spentInput_);
    const auto first = std::ranges::find_if(keys, [&](const auto& k) { return k.window == key.window; });
    if (first != keys.end() && leftNothingToTell(key.window, first->area, key.areaAtRelease))
        spentInput_ = key.number;
}

// Window managers tell a window of a drag by its title bar once the button is
// up, and of a move by the keyboard once it ends: that tale spends the input.
bool PlacementWatch::isSpeakersMove(const QWidget& window, const QRect& inner)
{
    if (!platform::hasCurrent())
        return false;
    spendEndedInput();
    const auto& pointer = platform::current().pointer();
    const auto press = pointer.lastPress();
    const auto key = pointer.lastKey();
    if (std::max(press.number, key.number) <= spentInput_)
        return false;
    if (press.number > key.number) {
        // A click moves nothing; a drag is still held or let go elsewhere.
        const bool drags = !press.release || *press.release != press.location;
        if (press.window != &window || !drags || !gripsByWindowManager(press, inner))
            return false;
        if (press.release)
            spentInput_ = press.number;
        return true;
    }
    // Keys the window manager took while this window had the keyboard.
    if (key.window != &window || key.number <= keyReceived_)
        return false;
    spentInput_ = key.number;
    return true;
}

void PlacementWatch::judge(QWidget& window, const QRect& inner)
{
    // A hidden window is held: nothing it does is the speaker's, and the
    // hold's end puts it back.
    if (placing_ || !window.isVisible() || !placesWindow || !placesWindow(window))
        return;
    auto* ours = qobject_cast<platform::Window*>(&window);
    if (ours && ours->standsWhereAsked()) {
        // Our own grips ask for every step of the speaker's drag.
        if (draggedWindow_ == &window)
            takeInHand(window);
        return;
    }
    // The window manager's word on a resize the program carries (its end
    // puts the window back where the resize began) stands for nothing.
    if (ours && isCarried(window)) {
        ours->keepFrame(platform::fromQtGlobal(QRectF(resize_.carried)));
        return;
    }
    const bool settled = !isSettled || isSettled();
    if (!settled)
        forgetInput(true);
    if (settled && isSpeakersMove(window, inner)) {
        // Held, where the window manager carries it is no place yet: one it
        // lets go of mid-drag goes back to where it was.
        if (!ours) {
            if (!isHeldNow(window))
                takeInHand(window);
            return;
        }
        const QRect told = carriedFrame(*ours, platform::current().pointer().lastPress(), platform::toQtGlobal(ours->frame()));
        if (isHeldNow(window)) {
            learnResize(platform::current().pointer().lastPress(), window, told);
            ours->keepFrame(platform::fromQtGlobal(QRectF(told)));
            return;
        }
        takeInHand(window);
        // Where the speaker left it is its place from now on.
        ours->setFrame(platform::fromQtGlobal(QRectF(told)), ours->formerFrame());
        return;
    }
    if (windowManagerMovesLeft_ <= 0)
        return;
    --windowManagerMovesLeft_;
    // Back at its place before a clamp makes an edge of it; after a change
    // only the placing knows the place.
    if (settled && ours)
        ours->returnToPlace();
    if (onMovedByWindowManager)
        onMovedByWindowManager(window);
}

bool PlacementWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide) {
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->isWindow())
            cutHeldPress(*widget);
        return false;
    }
    if (event->type() == QEvent::KeyPress && event->spontaneous() && platform::hasCurrent()) {
        keyReceived_ = platform::current().pointer().lastKey().number;
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
    judge(*window, window->geometry().translated(-by));
    return false;
}

} // namespace quorvia
