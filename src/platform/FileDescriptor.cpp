#include "platform/FileDescriptor.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform {

namespace {

constexpr int readingFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

} // namespace

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

FileDescriptor openForReading(const QString& path, int extraFlags)
{
    return FileDescriptor(::open(QFile::encodeName(path).constData(), readingFlags | extraFlags));
}

FileDescriptor openFolder(const char* path, int extraFlags)
{
    return FileDescriptor(::open(path, folderFlags | extraFlags));
}

FileDescriptor openForReadingAt(int folderFd, const char* name)
{
    return FileDescriptor(::openat(folderFd, name, readingFlags | O_NOFOLLOW));
}

FileDescriptor openFolderAt(int folderFd, const char* name)
{
    return FileDescriptor(::openat(folderFd, name, folderFlags | O_NOFOLLOW));
}

std::expected<FileDescriptor, std::error_code> makeFolderAt(int parentFd, const char* name, bool existing)
{
    const bool made = ::mkdirat(parentFd, name, 0700) == 0;
    if (!made && (errno != EEXIST || !existing))
        return std::unexpected(lastError());
    FileDescriptor folder = openFolderAt(parentFd, name);
    if (!folder.isOpen()) {
        const std::error_code error = lastError();
        // Gone with the failure, if it is still the empty folder just made.
        if (made)
            ::unlinkat(parentFd, name, AT_REMOVEDIR);
        return std::unexpected(error);
    }
    return folder;
}

std::error_code lastError() { return {errno, std::generic_category()}; }

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
