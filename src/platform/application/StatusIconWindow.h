#pragma once

class QWidget;

namespace quorvia::platform {

// Whether a top-level widget is the window Qt embeds in the desktop's status
// area for a status icon. It belongs to that area, not among the windows the
// application hides: hidden, the area shrinks it away and nothing shows it again.
bool isStatusIconWindow(const QWidget& widget);

} // namespace quorvia::platform
