#pragma once

namespace quorvia::platform::native {

// Installs the real services; call once the QApplication exists.
void installLinuxPlatform();

} // namespace quorvia::platform::native
