#include "platform/desktop/WindowSystem.h"

#include "platform/desktop/Window.h"

namespace quorvia::platform {

void WindowSystem::compositingChanged()
{
    for (Window* window : Window::allWindows())
        if (window->shape().kind != WindowShape::Kind::rectangle || window->hasShadow())
            window->updateShapeAndShadow();
}

} // namespace quorvia::platform
