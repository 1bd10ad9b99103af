#pragma once

#include "platform/desktop/WindowSystem.h"

#include <vector>

namespace quorvia::test {

// A window system without a server: it records desktop hints, and a
// compositing manager starts or stops when the test says so.
class FakeWindowSystem final : public platform::WindowSystem {
public:
    void setOnAllDesktops(QWidget&, bool sticky) override { stickyRequests.push_back(sticky); }
    bool windowsAreComposited() override { return composited_; }
    void setComposited(bool composited)
    {
        composited_ = composited;
        compositingChanged();
    }

    std::vector<bool> stickyRequests;

private:
    bool composited_ = false;
};

} // namespace quorvia::test
