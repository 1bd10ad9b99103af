#include "platform/linux/dialogs/PanelPlacement.h"

#include "platform/displays/DisplayService.h"
#include "platform/Platform.h"
#include "platform/desktop/Window.h"

namespace quorvia::platform::native {

bool centreOnBuiltInScreen(Window& window)
{
    if (!hasCurrent())
        return false;
    for (const Screen& screen : current().displays().screens()) {
        if (!screen.isBuiltIn)
            continue;
        const Rect visible = screen.visibleFrame;
        window.setFrameOrigin({visible.midX() - window.frame().width() / 2, visible.midY() - window.frame().height() / 2});
        return true;
    }
    return false;
}

} // namespace quorvia::platform::native
