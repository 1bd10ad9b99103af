#include "privacy/BuiltInScreenPlacement.h"

#include "privacy/DisplayTopology.h"

namespace quorvia {

bool centreOnBuiltInScreen(platform::Window& window)
{
    const auto screen = DisplayTopology::builtInScreen();
    if (!screen) {
        window.orderOut();
        return false;
    }
    const platform::Rect& visible = screen->visibleFrame;
    const platform::Size size = window.frame().size;
    window.setFrameOrigin({visible.midX() - size.width / 2, visible.midY() - size.height / 2});
    return true;
}

} // namespace quorvia
