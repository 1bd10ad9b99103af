#pragma once

class QWidget;

namespace quorvia::platform::native {

// Asks the X11 window manager to show the window on every desktop. Does
// nothing outside an X11 session.
void setOnAllDesktops(QWidget& window, bool sticky);

} // namespace quorvia::platform::native
