#pragma once

namespace quorvia::platform {
class Window;
}

namespace quorvia::platform::native {

// Centres `window` on the speaker's built-in screen. False where there is
// none: the one screen there is may be the audience's, so nothing is shown.
bool centreOnBuiltInScreen(Window& window);

} // namespace quorvia::platform::native
