#include "platform/files/FileDescriptor.h"

#include "platform/files/BoundedFileRead.h"

#include <QFile>

#include <cerrno>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <linux/stat.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform {

namespace {

constexpr int readingFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

} // namespace

std::optional<quint64> mountIdOf(int fd)
{
    struct statx status {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &status) == 0 && (status.stx_mask & STATX_MNT_ID))
        return status.stx_mnt_id;
    // Kernels before 5.8 tell it only in the descriptor's information.
    const BoundedFileRead info = readBoundedFile(QStringLiteral("/proc/self/fdinfo/%1").arg(fd), 64 * 1024);
    for (const QByteArray& line : info.ok() ? info.bytes.split('\n') : QList<QByteArray>()) {
        if (!line.startsWith("mnt_id:"))
            continue;
        bool ok = false;
        const quint64 id = line.mid(7).trimmed().toULongLong(&ok);
        return ok ? std::optional<quint64>(id) : std::nullopt;
    }
    return std::nullopt;
}

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

FileDescriptor createFileAt(int folderFd, const char* name)
{
    return FileDescriptor(::openat(folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
}

FileDescriptor openOrCreate(const QString& path)
{
    return FileDescriptor(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
}

std::expected<std::vector<std::string>, std::error_code> entryNames(int folderFd)
{
    FileDescriptor own(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!own.isOpen())
        return std::unexpected(lastError());
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::fdopendir(own.get()), &::closedir);
    if (!entries)
        return std::unexpected(lastError());
    own.release(); // the listing closes it now
    ::rewinddir(entries.get());
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(entries.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    if (errno != 0)
        return std::unexpected(lastError());
    return names;
}

std::expected<PipePair, std::error_code> makePipe(int extraFlags)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | extraFlags) != 0)
        return std::unexpected(lastError());
    return PipePair{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
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

FileDescriptor lockedCopy(int fd)
{
    // A lock of the open file itself, not of the process: closing another
    // descriptor of the file here leaves it held.
    FileDescriptor copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (!copy.isOpen() || ::fcntl(copy.get(), F_OFD_SETLK, &lock) != 0)
        return FileDescriptor();
    return copy;
}

bool holdSharedLock(int fd)
{
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool isLockedElsewhere(int fd)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
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
