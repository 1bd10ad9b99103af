#pragma once

#include "support/MountLeakCheck.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace quorvia::test {

// An image file for a drive, in memory under no name of the file system:
// it goes with the last descriptor or loop device on it, however the test
// ends. Mount it through path().
class DriveImage {
public:
    // `megabytes` holding an empty ext4 file system; it lists a folder's names
    // in the order of their hashes under `hashSeed` (a UUID), a random one
    // when none is given.
    static DriveImage ext4(int megabytes, const QString& hashSeed = {})
    {
        DriveImage image(megabytes);
        const QStringList seed = hashSeed.isEmpty() ? QStringList() : QStringList{"-E", "hash_seed=" + hashSeed};
        image.made_ = image.fd_ >= 0 && QProcess::execute("mkfs.ext4", QStringList{"-q", "-F"} + seed + QStringList{image.path()}) == 0;
        return image;
    }
    // `megabytes` holding an empty exFAT file system.
    static DriveImage exfat(int megabytes)
    {
        DriveImage image(megabytes);
        image.made_ = image.fd_ >= 0 && QProcess::execute("sh", {"-c", "mkfs.exfat \"$0\" >/dev/null", image.path()}) == 0;
        return image;
    }
    // Another image holding these bytes as they are now.
    DriveImage copy() const
    {
        DriveImage image(0);
        loff_t from = 0;
        for (ssize_t copied = 1; image.fd_ >= 0 && copied > 0;)
            copied = ::copy_file_range(fd_, &from, image.fd_, nullptr, 1 << 30, 0);
        image.made_ = made_ && image.fd_ >= 0 && ::lseek(image.fd_, 0, SEEK_END) == ::lseek(fd_, 0, SEEK_END);
        return image;
    }

    DriveImage(DriveImage&& other) noexcept
        : fd_(std::exchange(other.fd_, -1))
        , made_(other.made_)
    {
    }
    DriveImage& operator=(DriveImage&&) = delete;
    ~DriveImage()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool made() const { return made_; }
    // A name the image goes by while it lives, for this process and the ones it starts.
    QString path() const { return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fd_); }

private:
    explicit DriveImage(int megabytes)
        : fd_(::memfd_create(MountLeakCheck::imageName().c_str(), MFD_CLOEXEC))
    {
        if (fd_ >= 0 && ::ftruncate(fd_, off_t(megabytes) << 20) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    int fd_;
    bool made_ = false;
};

} // namespace quorvia::test
