#pragma once

#include <QByteArrayView>
#include <QString>

#include <expected>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace quorvia::platform {

// Owns one open file descriptor and closes it however the scope ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const noexcept { return fd_; }
    bool isOpen() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept;
    // Closes now and reports close's own failure (errno), which for a file
    // just written can be the first word of a full disk.
    bool close() noexcept;

private:
    int fd_;
};

// Opens for reading without waiting on a FIFO or taking a terminal, closed on
// exec; extraFlags adds e.g. O_NOFOLLOW. Not open, with errno set, on failure.
FileDescriptor openForReading(const QString& path, int extraFlags = 0);
// A folder, to reach what it holds by name; extraFlags as above.
FileDescriptor openFolder(const char* path, int extraFlags = 0);
// The item `name` in the folder open at `folderFd`, never through a link there.
FileDescriptor openForReadingAt(int folderFd, const char* name);
FileDescriptor openFolderAt(int folderFd, const char* name);

// A new private file `name` in the folder open at `folderFd`, for writing;
// never one already there, never through a link left under the name.
FileDescriptor createFileAt(int folderFd, const char* name);

// A file to read and write, such as a lock, made private when missing; never
// through a link at its name, never waiting on a FIFO.
FileDescriptor openOrCreate(const QString& path);

// The names in the folder open at `folderFd`, "." and ".." left out, read from
// the start through a descriptor of the listing's own.
std::expected<std::vector<std::string>, std::error_code> entryNames(int folderFd);

// Both ends of a new pipe, closed on exec; extraFlags adds e.g. O_NONBLOCK.
struct PipePair {
    FileDescriptor reading;
    FileDescriptor writing;
};
std::expected<PipePair, std::error_code> makePipe(int extraFlags = 0);

// A private folder `name` in the folder open at `parentFd`, made and opened;
// one already there is taken only when `existing` says so. A folder made here
// and then not opened is removed again.
std::expected<FileDescriptor, std::error_code> makeFolderAt(int parentFd, const char* name, bool existing = true);

// A second descriptor of the file open at `fd` (open for writing) that holds
// a write lock on all of it while it stays open, against every other open of
// the file, in this process or another, on this machine or beyond where the
// file system carries locks. Not open when the lock is taken or not kept.
FileDescriptor lockedCopy(int fd);
// Holds a shared lock on all of the file or folder open at `fd` (for reading)
// while that open file lives, seen by every other open of it as
// isLockedElsewhere sees a lock; false when the lock is not taken.
bool holdSharedLock(int fd);
// Whether another open of the file at `fd` holds a lock on it; false on a
// file system that keeps no locks.
bool isLockedElsewhere(int fd);

// The mount the item open at `fd` lies on: a bind mount has an id of its own
// though it shares the device. Nothing when the kernel will not say.
std::optional<quint64> mountIdOf(int fd);

// The errno of the last call, as an error.
std::error_code lastError();

// Writes every byte, through short writes and interruptions; false with errno set.
bool writeAll(int fd, QByteArrayView bytes);

} // namespace quorvia::platform
