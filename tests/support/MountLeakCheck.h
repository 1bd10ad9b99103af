#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace quorvia::test {

// Fails the test process that leaves a mount behind. Each process mounts in a
// namespace of its own, so what it finds mounted at its end that was not at
// its start is its own, whatever other tests mount beside it.
class MountLeakCheck final : public ::testing::Environment {
public:
    // Before any thread starts: a thread cannot leave its process's namespace
    // alone. Only root can, and only root mounts.
    static void isolate();

    void SetUp() override;
    void TearDown() override;

private:
    // Mount point by mount id.
    static std::map<std::string, std::string> mounts();

    static inline bool isolated_ = false;
    std::map<std::string, std::string> before_;
};

} // namespace quorvia::test
