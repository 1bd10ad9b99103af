#pragma once

#include "platform/WindowSystem.h"

class QWidget;

namespace quorvia::platform::native {

// The X11 window manager's hints, as the platform's window system.
class X11WindowSystem final : public WindowSystem {
public:
    void setOnAllDesktops(QWidget& window, bool sticky) override;
    bool windowsAreComposited() override;
};

// Asks the X11 window manager to show the window on every desktop. Does
// nothing outside an X11 session.
void setOnAllDesktops(QWidget& window, bool sticky);

// Whether a compositing manager runs on the X11 screen, so translucent
// windows blend with what lies under them. False outside an X11 session.
bool windowsAreComposited();

} // namespace quorvia::platform::native
