#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

namespace quorvia::test {

// A drive of the test's own, mounted in a folder of its own while it lives;
// mounting needs root.
class MountedDrive {
public:
    enum class Kind {
        ext4Image, // an image file holding an ext4 file system, mounted by loop; its journal replays on mounting
        bindfs,    // a folder again through bindfs: no atomic exchange, and no holes it can report
    };

    MountedDrive(Kind kind, const QString& source)
    {
        if (::geteuid() != 0)
            return;
        mounted_ = kind == Kind::ext4Image ? QProcess::execute("mount", {"-o", "loop", source, dir_.path()}) == 0
                                           : QProcess::execute("bindfs", {source, dir_.path()}) == 0;
    }
    ~MountedDrive()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    MountedDrive(const MountedDrive&) = delete;
    MountedDrive& operator=(const MountedDrive&) = delete;

    bool mounted() const { return mounted_; }
    QString path(const QString& relative = {}) const { return relative.isEmpty() ? dir_.path() : dir_.filePath(relative); }

    // A new image file of `megabytes` holding an empty ext4 file system.
    static bool makeExt4Image(const QString& image, int megabytes)
    {
        QFile file(image);
        return file.open(QIODevice::WriteOnly) && file.resize(qint64(megabytes) << 20)
            && QProcess::execute("mkfs.ext4", {"-q", "-F", image}) == 0;
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

} // namespace quorvia::test
