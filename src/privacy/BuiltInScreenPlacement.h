#pragma once

#include "platform/desktop/Window.h"

namespace quorvia {

// Centres the window on the built-in screen's visible frame, or hides it when
// there is none, so a private window never lands where the audience sees it.
// Answers whether it was placed.
bool centreOnBuiltInScreen(platform::Window& window);

} // namespace quorvia
