#pragma once

#include <QString>

#include <functional>
#include <system_error>

namespace quorvia::platform::native {

// Installs the real services; call once the QApplication exists. The store
// runs `beforeWrite` before each write into its folder (see SettingsDefaults).
void installLinuxPlatform(std::function<std::error_code(const QString& folder)> beforeWrite = {});
// Installs only what a window needs (time, screens, the window manager's
// hints), for a launch that may not run and so opens no store.
void installWindowPlatform();

} // namespace quorvia::platform::native
