#pragma once

#include <functional>

namespace quorvia::platform::native {

// Installs the real services; call once the QApplication exists. The store
// runs `beforeWrite` before each write (see SettingsDefaults).
void installLinuxPlatform(std::function<std::error_code()> beforeWrite = {});
// Installs only what a window needs (time, screens, the window manager's
// hints), for a launch that may not run and so opens no store.
void installWindowPlatform();

} // namespace quorvia::platform::native
