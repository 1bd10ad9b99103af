#include "platform/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>

namespace quorvia::platform {

void FileDescriptor::reset(int fd) noexcept
{
    if (fd_ >= 0 && fd_ != fd)
        ::close(fd_);
    fd_ = fd;
}

bool FileDescriptor::close() noexcept
{
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* at = bytes.data();
    auto left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            // Nothing taken and nothing said: treat it as a full device rather than spin.
            errno = ENOSPC;
            return false;
        }
        at += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace quorvia::platform
