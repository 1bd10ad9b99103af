#pragma once

#include "platform/desktop/WindowSystem.h"

#include <optional>
#include <vector>

namespace quorvia::test {

// A window system without a server: it records desktop hints, and a
// compositing manager starts or stops, and the keyboard moves, when the test says so.
class FakeWindowSystem final : public platform::WindowSystem {
public:
    void setOnAllDesktops(QWidget&, bool sticky) override { stickyRequests.push_back(sticky); }
    bool windowsAreComposited() override { return composited_; }
    std::optional<platform::KeyboardFocus> keyboardFocus() override { return focus; }
    void setComposited(bool composited)
    {
        composited_ = composited;
        compositingChanged();
    }

    std::vector<bool> stickyRequests;
    // Where the server has the keyboard, as the test says; by default nothing tells.
    std::optional<platform::KeyboardFocus> focus;

private:
    bool composited_ = false;
};

} // namespace quorvia::test
