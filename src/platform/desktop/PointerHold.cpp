#include "platform/desktop/PointerHold.h"

#include "platform/Platform.h"
#include "platform/desktop/PointerService.h"
#include "platform/desktop/ScreenSpace.h"

#include <QCursor>

#include <utility>

namespace quorvia::platform {

void PointerHold::begin(QPointF pointer)
{
    // The last press came before this one unless it is still down: the
    // reader may hear of this one after Qt.
    const auto press = current().pointer().lastPress();
    before_ = press.number > 0 && !press.release ? press.number - 1 : press.number;
    followed_ = pointer;
    upSince_.reset();
    ticks_ = Timer::scheduled(1.0 / 60, true, [this] { tick(); });
}

// Qt tells only of moves made before the release, though a busy program hears
// of them after the server says the button is up.
void PointerHold::moveTo(QPointF pointer)
{
    if (ticks_)
        follow(pointer);
}

void PointerHold::release(QPointF pointer)
{
    if (ticks_)
        finish(releasePoint().value_or(pointer));
}

void PointerHold::tick()
{
    if (!upSince_) {
        // Asked of the server now: a position kept from earlier would pull the window back.
        if (current().pointer().isButtonHeld())
            return follow(QPointF(QCursor::pos()));
        // The pointer may move on after the release: only where it went up counts now.
        upSince_ = uptime();
    }
    if (const auto at = releasePoint())
        finish(at);
    else if (uptime() - *upSince_ >= releaseWait)
        finish(std::nullopt);
}

void PointerHold::follow(QPointF pointer)
{
    // A pointer at rest asks nothing, though a clamp keeps the window short of it.
    if (std::exchange(followed_, pointer) != pointer && onMove)
        onMove(pointer);
}

std::optional<QPointF> PointerHold::releasePoint() const
{
    const auto press = current().pointer().lastPress();
    if (press.number <= before_ || !press.release)
        return std::nullopt;
    return toQtGlobal(*press.release);
}

void PointerHold::finish(std::optional<QPointF> at)
{
    ticks_.reset();
    followed_.reset();
    upSince_.reset();
    if (onRelease)
        onRelease(at);
}

} // namespace quorvia::platform
