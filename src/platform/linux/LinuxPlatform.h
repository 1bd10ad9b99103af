#pragma once

#include <memory>

namespace quorvia::platform {
class WriteGate;
}

namespace quorvia::platform::native {

// Installs the real services; call once the QApplication exists. Both stores
// ask `writeGate` before each write (see WriteGate).
void installLinuxPlatform(std::shared_ptr<WriteGate> writeGate = {});
// Installs only what a window needs (time, screens, the window manager's
// hints), for a launch that may not run and so opens no store.
void installWindowPlatform();

} // namespace quorvia::platform::native
