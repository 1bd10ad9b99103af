#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

namespace quorvia::test {

// A drive of the test's own, mounted while it lives; mounting needs root.
class MountedDrive {
public:
    enum class Kind {
        ext4Image, // an image file holding an ext4 file system, mounted by loop; its journal replays on mounting
        bindfs,    // a folder again through bindfs: no atomic exchange, and no holes it can report
    };

    // `source` as a drive of `kind`, in a folder of its own; `options` go to bindfs.
    MountedDrive(Kind kind, const QString& source, const QStringList& options = {})
    {
        if (::geteuid() != 0)
            return;
        mounted_ = kind == Kind::ext4Image ? QProcess::execute("mount", {"-o", "loop", source, at_}) == 0
                                           : QProcess::execute("bindfs", options + QStringList{source, at_}) == 0;
    }
    // A disk in memory (tmpfs) of `bytes`, in a folder of its own only this user enters.
    explicit MountedDrive(qint64 bytes)
    {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(at_).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    // The folder `source` again at `at`, made for it: the same file system
    // under a mount of its own (a bind mount).
    MountedDrive(const QString& source, const QString& at)
        : at_(at)
    {
        if (::geteuid() != 0 || !QDir().mkpath(at))
            return;
        mounted_ = ::mount(QFile::encodeName(source).constData(), QFile::encodeName(at).constData(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~MountedDrive()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(at_).constData(), MNT_DETACH);
    }
    MountedDrive(const MountedDrive&) = delete;
    MountedDrive& operator=(const MountedDrive&) = delete;

    bool mounted() const { return mounted_; }
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

private:
    QTemporaryDir dir_;
    QString at_ = dir_.path();
    bool mounted_ = false;
};

} // namespace quorvia::test
