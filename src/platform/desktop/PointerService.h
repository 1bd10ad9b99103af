#pragma once

#include "platform/core/Geometry.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorvia::platform {

struct CursorImage {
    QImage image;
    // Size in points; the image may hold more pixels than that.
    Size size;
    // Measured from the image's top-left, in points.
    Point hotSpot;
};

// The pointer: where it is and what it looks like.
class PointerService {
public:
    virtual ~PointerService() = default;

    // In global space (y up). Main thread.
    virtual Point mouseLocation() const = 0;
    // The cursor the system shows now, over the application's windows or elsewhere.
    virtual CursorImage currentCursor() const = 0;
    virtual CursorImage arrowCursor() const = 0;
    // Whether the application is the active one (its cursor applies).
    virtual bool isApplicationActive() const = 0;
    // Whether a pointer button is held down now, wherever the pointer is: a
    // drag the window manager runs (by a title bar) counts too.
    virtual bool isButtonHeld() const = 0;
    // The last press of a pointer button, anywhere (on a title bar the window
    // manager draws too). Presses and keys are numbered in one order from 1,
    // 0 before any; the first call of either starts the count.
    struct Press {
        std::uint64_t number = 0;
        Point location;
        // Alt or Super held: window managers move a window dragged so anywhere on it.
        bool withModifier = false;
        // Where the button went up, once it has; a drag lets go away from the press.
        std::optional<Point> release;
        // The top-level window of ours it landed on, its window manager's
        // title bar and border included; none on anything else.
        QPointer<QWidget> window;
        // The own area of `window` (its window manager's frame left out) as
        // it stood at the press, and as the button went up.
        std::optional<Rect> area;
        std::optional<Rect> areaAtRelease;
    };
    // Each fact is as of the press or release itself, however late it is asked for.
    virtual Press lastPress() const = 0;
    // On the main thread, once a press's button has gone up: lastPress()
    // tells of it, whatever the program was doing as it went up.
    std::function<void()> onPressEnded;
    // The last key pressed anywhere, numbered in the presses' order: a key
    // the window manager took (a move by the keyboard) counts too.
    struct Key {
        std::uint64_t number = 0;
        // The top-level window of ours that had the keyboard; none when another had it.
        QPointer<QWidget> window;
        // That window's own area at the key, and as the key went up.
        std::optional<Rect> area;
        std::optional<Rect> areaAtRelease;
    };
    virtual Key lastKey() const = 0;
    // The keys numbered above `number`, oldest first, as far back as kept:
    // where a stretch of keys began.
    virtual std::vector<Key> keysAfter(std::uint64_t number) const = 0;
};

} // namespace quorvia::platform
