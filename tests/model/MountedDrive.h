#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace quorvia::test {

// A drive of the test's own, mounted while it lives; mounting needs root.
class MountedDrive {
public:
    enum class Kind {
        ext4Image, // an image file holding an ext4 file system, mounted by loop; its journal replays on mounting
        bindfs,    // a folder again through bindfs: no atomic exchange, and no holes it can report
        exfatImage, // an image file holding exFAT, through FUSE: no Unix modes, no atomic exchange, and
                    // inode numbers handed out anew at each mount, in the order names are looked up
    };

    // `source` as a drive of `kind`, in a folder of its own; `options` go to bindfs.
    MountedDrive(Kind kind, const QString& source, const QStringList& options = {})
    {
        if (::geteuid() != 0)
            return;
        if (kind == Kind::exfatImage) {
            // FUSE run by root wants a block device.
            QProcess loop;
            loop.start("losetup", {"-f", "--show", source});
            if (loop.waitForFinished() && loop.exitCode() == 0)
                loop_ = QString::fromLocal8Bit(loop.readAllStandardOutput()).trimmed();
            remember(!loop_.isEmpty() && QProcess::execute("mount.exfat-fuse", {"-o", "noatime", loop_, at_}) == 0);
            return;
        }
        remember(kind == Kind::ext4Image ? QProcess::execute("mount", {"-o", "loop", source, at_}) == 0
                                         : QProcess::execute("bindfs", options + QStringList{source, at_}) == 0);
    }
    // A disk in memory (tmpfs) of `bytes`, in a folder of its own only this user enters.
    explicit MountedDrive(qint64 bytes)
    {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        remember(::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(at_).constData(), "tmpfs", 0, options.constData()) == 0);
    }
    // The folder `source` again at `at`, made for it: the same file system
    // under a mount of its own (a bind mount).
    MountedDrive(const QString& source, const QString& at)
        : at_(at)
    {
        if (::geteuid() != 0 || !QDir().mkpath(at))
            return;
        remember(::mount(QFile::encodeName(source).constData(), QFile::encodeName(at).constData(), nullptr, MS_BIND, nullptr) == 0);
    }
    // Through the mount's own root, wherever renames have taken it since.
    ~MountedDrive()
    {
        if (root_ >= 0) {
            ::umount2(("/proc/self/fd/" + std::to_string(root_)).c_str(), MNT_DETACH);
            ::close(root_);
        }
        if (!loop_.isEmpty())
            QProcess::execute("losetup", {"-d", loop_});
    }
    MountedDrive(const MountedDrive&) = delete;
    MountedDrive& operator=(const MountedDrive&) = delete;

    bool mounted() const { return root_ >= 0; }
    QString path(const QString& relative = {}) const { return relative.isEmpty() ? at_ : at_ + u'/' + relative; }

    // From now on every write to the drive is refused.
    bool remountReadOnly() const
    {
        return ::mount(nullptr, QFile::encodeName(at_).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    // A new image file of `megabytes` holding an empty ext4 file system; it
    // lists a folder's names in the order of their hashes under `hashSeed` (a
    // UUID), a random one when none is given.
    static bool makeExt4Image(const QString& image, int megabytes, const QString& hashSeed = {})
    {
        QFile file(image);
        const QStringList seed = hashSeed.isEmpty() ? QStringList() : QStringList{"-E", "hash_seed=" + hashSeed};
        return file.open(QIODevice::WriteOnly) && file.resize(qint64(megabytes) << 20)
            && QProcess::execute("mkfs.ext4", QStringList{"-q", "-F"} + seed + QStringList{image}) == 0;
    }

    // A new image file of `megabytes` holding an empty exFAT file system.
    static bool makeExfatImage(const QString& image, int megabytes)
    {
        QFile file(image);
        return file.open(QIODevice::WriteOnly) && file.resize(qint64(megabytes) << 20)
            && QProcess::execute("sh", {"-c", "mkfs.exfat \"$0\" >/dev/null", image}) == 0;
    }

private:
    void remember(bool mounted)
    {
        if (mounted)
            root_ = ::open(QFile::encodeName(at_).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }

    QTemporaryDir dir_;
    QString at_ = dir_.path();
    int root_ = -1;
    QString loop_;
};

} // namespace quorvia::test
