#include "support/MountLeakCheck.h"

#include <fstream>
#include <sstream>

#include <sched.h>
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
}

} // namespace quorvia::test
