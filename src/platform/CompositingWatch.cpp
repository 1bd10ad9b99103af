#include "platform/CompositingWatch.h"

#include "platform/Window.h"

namespace quorvia::platform {

void watchCompositing(std::unique_ptr<CompositingWatch> watch)
{
    static std::unique_ptr<CompositingWatch> held;
    held = std::move(watch);
    if (!held)
        return;
    held->onChange = [] {
        for (Window* window : Window::allWindows())
            if (window->shape().kind != WindowShape::Kind::rectangle || window->hasShadow())
                window->updateShapeAndShadow();
    };
}

} // namespace quorvia::platform
