#pragma once

#include "platform/core/Geometry.h"

#include <QImage>

#include <cstdint>

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
    // Where a pointer button was last pressed, anywhere (on a title bar the
    // window manager draws too), numbered in order from 1; 0 before any. The
    // first call starts the count.
    struct Press {
        std::uint64_t number = 0;
        Point location;
    };
    virtual Press lastPress() const = 0;
};

} // namespace quorvia::platform
