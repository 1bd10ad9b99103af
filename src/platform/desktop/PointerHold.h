#pragma once

#include "platform/core/MainQueue.h"

#include <QPointF>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quorvia::platform {

// A press followed to its release by the server's word as well as Qt's: a
// change of the displays that hides the window ends Qt's grab, a window
// manager's grab tells Qt nothing, and a program busy as the button went up
// reads the drag's last moves only after the server says it is up. Points are
// in Qt's global space.
class PointerHold {
public:
    // At the press Qt tells of.
    void begin(QPointF pointer);
    // Qt's word of a move with the button down, or of the release.
    void moveTo(QPointF pointer);
    void release(QPointF pointer);

    // Where the pointer is while the button is held, each time it moves.
    std::function<void(QPointF)> onMove;
    // Once, as the hold ends: where the button went up, if anybody told.
    std::function<void(std::optional<QPointF>)> onRelease;

private:
    // Seconds the hold waits, once the button is up, for word of where it went up.
    static constexpr double releaseWait = 1.0;

    void tick();
    void follow(QPointF pointer);
    std::optional<QPointF> releasePoint() const;
    void finish(std::optional<QPointF> at);

    std::unique_ptr<Timer> ticks_;
    std::optional<QPointF> followed_;
    // Presses numbered up to this one came before the hold's.
    std::uint64_t before_ = 0;
    // When the server first said the button is up.
    std::optional<double> upSince_;
};

} // namespace quorvia::platform
