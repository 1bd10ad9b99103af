#pragma once

namespace quorvia::platform::native {

// Installs the real services; call once the QApplication exists.
void installLinuxPlatform();
// Installs only what a window needs (time, screens, the window manager's
// hints), for a launch that may not run and so opens no store.
void installWindowPlatform();

} // namespace quorvia::platform::native
