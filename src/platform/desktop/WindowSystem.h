#pragma once

#include "platform/core/Geometry.h"

#include <QPoint>
#include <QRect>

#include <cstdint>
#include <optional>

class QWidget;

namespace quorvia::platform {

// Who has the keyboard, as the server tells: a window of ours, nobody (the
// root, or the window manager's own window while no client has it), or a
// window of another program.
struct KeyboardFocus {
    enum class Holder { ours, nobody, otherProgram };
    Holder holder = Holder::nobody;
    // The top-level widget of ours that has it; null unless ours.
    QWidget* window = nullptr;
};

// Makes a frame asked for, from the frame before it, one inside an area. A
// plain function, so the window system may apply it on a thread of its own;
// it holds in Qt's y-down space as well as in the global y-up one.
using FrameRule = Rect (*)(const Rect& frame, const Rect& former, const Rect& area);

// An area a window must stay inside, on the display it was read from, as
// the program knew that display: once the server has moved the display, the
// area is the old arrangement's and binds nothing.
struct KeptArea {
    QRect area; // Qt's global space, as the rest
    std::uint32_t display = 0; // none named: always in force
    QRect displayRect;
};

// What only the window system can do or tell for a window, beyond Qt. The
// backend installs its own with the platform; without one a window gets no
// desktop hint and nothing counts as compositing.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Shows the window on every desktop, or on its own one again.
    virtual void setOnAllDesktops(QWidget& window, bool sticky) = 0;
    // Whether something composites, so translucent windows blend with what lies under them.
    virtual bool windowsAreComposited() = 0;
    // Where the server has a shown window's inner top-left corner now, in
    // Qt's global coordinates; nothing when it cannot tell.
    virtual std::optional<QPoint> innerOrigin(const QWidget&) { return std::nullopt; }
    // Keeps a shown window inside `area` (Qt's global space) at every step of
    // a move or resize another client makes, the window manager's own drags
    // included, answered as the server tells of each rather than when the
    // window is told; none lets it go.
    virtual void keepInside(QWidget&, const std::optional<KeptArea>&, FrameRule) {}
    // The program asks for a kept window's frame at `outer` (Qt's global
    // space, what the window manager draws included): a window manager still
    // carrying out an earlier ask of ours is not another client's move.
    virtual void asking(QWidget&, const QRect& /*outer*/) {}
    // Where the server has the keyboard now; nothing when it cannot tell.
    virtual std::optional<KeyboardFocus> keyboardFocus() { return std::nullopt; }
    // Tells the window manager, before a window not shown is shown again,
    // that it stands modal, as Qt tells only of a window it maps modal.
    virtual void markModal(QWidget&) {}
    // Ends a move or resize the window manager runs for a shown window, so
    // the program carries it on; false when no window manager takes that.
    virtual bool stopManagersDrag(QWidget&) { return false; }

    // The backend calls it on the main thread whenever compositing starts or
    // stops: every shaped or shadowed window, shown or not, updates its shadow
    // and its cut, so nothing decided under the old state is left.
    void compositingChanged();
};

} // namespace quorvia::platform
