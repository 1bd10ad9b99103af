#pragma once

#include "platform/Platform.h"
#include "support/FakeWindowSystem.h"
#include "support/ManualAnimator.h"
#include "support/ManualScheduler.h"
#include "support/MemoryDefaults.h"

#include <memory>

namespace quorvia::test {

// Installs a fresh platform of fakes (manual clock, in-memory defaults, manual
// animator, a window system where nothing composites) for the life of the
// object and restores the previous one afterwards. Tests add the other fakes
// they need through platform().
class TestPlatform {
public:
    TestPlatform();
    ~TestPlatform();
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    platform::Platform& platform() { return platform::current(); }
    ManualScheduler& scheduler() { return *scheduler_; }
    MemoryDefaults& defaults() { return *defaults_; }
    ManualAnimator& animator() { return *animator_; }
    FakeWindowSystem& windowSystem() { return *windowSystem_; }

private:
    std::shared_ptr<ManualScheduler> scheduler_;
    std::shared_ptr<MemoryDefaults> defaults_;
    std::shared_ptr<ManualAnimator> animator_;
    std::shared_ptr<FakeWindowSystem> windowSystem_ = std::make_shared<FakeWindowSystem>();
    std::unique_ptr<platform::Platform> previous_;
};

} // namespace quorvia::test
