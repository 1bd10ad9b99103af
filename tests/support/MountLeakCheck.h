#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace quorvia::test {

// Fails the test process that leaves a mount or a loop device behind. Each
// process mounts in a namespace of its own, so what it finds mounted at its
// end that was not at its start is its own, whatever other tests mount beside
// it; loop devices are the machine's, so its own are those on a drive image
// named after it.
class MountLeakCheck final : public ::testing::Environment {
public:
    // Before any thread starts: a thread cannot leave its process's namespace
    // alone. Only root can, and only root mounts.
    static void isolate();

    // The name of the drive images this process makes (DriveImage).
    static std::string imageName(pid_t process = ::getpid());
    // The loop devices still attached to an image `process` made, as loopN.
    static std::vector<std::string> loopDevicesOf(pid_t process);

    void SetUp() override;
    void TearDown() override;

private:
    // Mount point by mount id.
    static std::map<std::string, std::string> mounts();

    static inline bool isolated_ = false;
    std::map<std::string, std::string> before_;
};

} // namespace quorvia::test
