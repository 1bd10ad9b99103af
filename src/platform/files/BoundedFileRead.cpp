#include "platform/files/BoundedFileRead.h"

#include "platform/files/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform {

namespace {

BoundedFileRead failed(int error) { return {BoundedFileRead::Outcome::failed, {}, error}; }

} // namespace

bool isRegularFile(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

BoundedFileRead readBounded(int fd, qint64 bound)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return failed(errno);
    if (!S_ISREG(status.st_mode))
        return {BoundedFileRead::Outcome::notRegular, {}, 0};
    if (status.st_size > bound)
        return {BoundedFileRead::Outcome::tooLarge, {}, 0};

    // Sized from what fstat said, grown only up to one byte past the bound.
    QByteArray bytes(std::min<qint64>(status.st_size, bound) + 1, Qt::Uninitialized);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > bound)
                return {BoundedFileRead::Outcome::tooLarge, {}, 0};
            bytes.resize(std::min<qint64>(bound + 1, filled * 2 + 4096));
        }
        const ssize_t n = ::read(fd, bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(errno);
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > bound)
        return {BoundedFileRead::Outcome::tooLarge, {}, 0};
    bytes.truncate(filled);
    return {BoundedFileRead::Outcome::read, std::move(bytes), 0};
}

BoundedFileRead readBoundedFile(const QString& path, qint64 bound, int extraFlags)
{
    const FileDescriptor file = openForReading(path, extraFlags);
    if (!file.isOpen()) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return {BoundedFileRead::Outcome::missing, {}, error};
        if (error == ELOOP || error == ENXIO)
            return {BoundedFileRead::Outcome::notRegular, {}, error};
        return failed(error);
    }
    return readBounded(file.get(), bound);
}

} // namespace quorvia::platform
