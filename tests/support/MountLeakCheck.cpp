#include "support/MountLeakCheck.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <linux/loop.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace quorvia::test {

void MountLeakCheck::isolate()
{
    // Private, so no mount of ours reaches the machine and none of another's reaches us.
    isolated_ = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

std::map<std::string, std::string> MountLeakCheck::mounts()
{
    std::map<std::string, std::string> found;
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (fields >> id >> parent >> device >> root >> point)
            found.emplace(id, point);
    }
    return found;
}

std::string MountLeakCheck::imageName(pid_t process) { return "quorvia-drive-" + std::to_string(process); }

std::vector<std::string> MountLeakCheck::loopDevicesOf(pid_t process)
{
    std::vector<std::string> found;
    const std::string image = "/memfd:" + imageName(process) + " (deleted)";
    for (const auto& device : std::filesystem::directory_iterator("/sys/block")) {
        std::ifstream backing(device.path() / "loop/backing_file");
        std::string file;
        if (std::getline(backing, file) && file == image)
            found.push_back(device.path().filename());
    }
    return found;
}

void MountLeakCheck::SetUp()
{
    if (isolated_)
        before_ = mounts();
}

void MountLeakCheck::TearDown()
{
    if (!isolated_)
        return;
    for (const auto& [id, point] : mounts()) {
        if (before_.contains(id))
            continue;
        ADD_FAILURE() << "a test left " << point << " mounted";
        // A FUSE daemon would otherwise keep it, and this namespace, alive.
        ::umount2(point.c_str(), MNT_DETACH);
    }
    for (const std::string& loop : loopDevicesOf(::getpid())) {
        ADD_FAILURE() << "a test left /dev/" << loop << " attached";
        // Detached once nothing holds it, were it mounted still.
        const int device = ::open(("/dev/" + loop).c_str(), O_RDONLY | O_CLOEXEC);
        ::ioctl(device, LOOP_CLR_FD);
        ::close(device);
    }
}

} // namespace quorvia::test
