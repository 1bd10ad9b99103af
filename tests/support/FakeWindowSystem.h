#pragma once

#include "platform/Platform.h"
#include "platform/WindowSystem.h"

#include <memory>
#include <vector>

namespace quorvia::test {

// A window system without a server: it records desktop hints, and a
// compositing manager starts or stops when the test says so.
class FakeWindowSystem final : public platform::WindowSystem {
public:
    explicit FakeWindowSystem(bool composited = false) : composited_(composited) {}
    static std::shared_ptr<FakeWindowSystem> installIn(platform::Platform& platform, bool composited = false)
    {
        auto system = std::make_shared<FakeWindowSystem>(composited);
        platform.windowSystemService = system;
        return system;
    }

    void setOnAllDesktops(QWidget&, bool sticky) override { stickyRequests.push_back(sticky); }
    bool windowsAreComposited() override { return composited_; }
    void setComposited(bool composited)
    {
        composited_ = composited;
        compositingChanged();
    }

    std::vector<bool> stickyRequests;

private:
    bool composited_;
};

} // namespace quorvia::test
