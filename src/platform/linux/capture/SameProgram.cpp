#include "platform/linux/capture/SameProgram.h"

#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform::native {

bool runsSameProgram(qint64 processID)
{
    if (processID <= 0)
        return false;
    const std::string process = "/proc/" + std::to_string(processID);
    struct stat owner {}, theirs {}, ours {};
    // Another user's executable cannot be read: it is never ours.
    if (::stat(process.c_str(), &owner) != 0 || owner.st_uid != ::getuid())
        return false;
    if (::stat((process + "/exe").c_str(), &theirs) != 0 || ::stat("/proc/self/exe", &ours) != 0)
        return false;
    return theirs.st_dev == ours.st_dev && theirs.st_ino == ours.st_ino;
}

} // namespace quorvia::platform::native
