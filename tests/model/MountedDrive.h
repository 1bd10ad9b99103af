#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <string>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::test {

// A drive of the test's own, mounted while it lives; mounting needs root.
class MountedDrive {
public:
    enum class Kind {
        ext4Image, // an image file (DriveImage) holding an ext4 file system, mounted by loop; its journal replays on mounting
        bindfs,    // a folder again through bindfs: no atomic exchange, and no holes it can report
        exfatImage, // an image file (DriveImage) holding exFAT, through FUSE: no Unix modes, no atomic exchange, and
                    // inode numbers handed out anew at each mount, in the order names are looked up
    };

    // `source` as a drive of `kind`, in a folder of its own; `options` go to bindfs.
    MountedDrive(Kind kind, const QString& source, const QStringList& options = {})
    {
        if (::geteuid() != 0)
            return;
        if (kind == Kind::bindfs) {
            runDaemon("bindfs", QStringList{"-f"} + options + QStringList{source, at_});
            return;
        }
        loop_ = attachLoop(source);
        if (loop_ < 0)
            return;
        const QString device = QFile::symLinkTarget("/proc/self/fd/" + QString::number(loop_));
        // FUSE run by root wants a block device; -d keeps it in the foreground.
        if (kind == Kind::exfatImage)
            runDaemon("mount.exfat-fuse", {"-d", "-o", "noatime", device, at_});
        else
            remember(::mount(QFile::encodeName(device).constData(), QFile::encodeName(at_).constData(), "ext4", 0, nullptr) == 0);
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
    // A FUSE daemon ends once the last file on its drive is closed.
    ~MountedDrive()
    {
        if (root_ >= 0) {
            ::umount2(("/proc/self/fd/" + std::to_string(root_)).c_str(), MNT_DETACH);
            ::close(root_);
        }
        daemon_.waitForFinished();
        if (loop_ >= 0)
            ::close(loop_);
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

    // A loop device on `image`, open; it detaches itself once no one has it
    // open, so a drive left by a killed test lets go of its image.
    static int attachLoop(const QString& image)
    {
        const int file = ::open(QFile::encodeName(image).constData(), O_RDWR | O_CLOEXEC);
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        int loop = -1;
        loop_config config {};
        config.fd = file;
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
        // Another process may take the free device before it is configured.
        for (int tries = 0; file >= 0 && control >= 0 && loop < 0 && tries < 20; ++tries) {
            const int free = ::ioctl(control, LOOP_CTL_GET_FREE);
            loop = ::open(("/dev/loop" + std::to_string(free)).c_str(), O_RDWR | O_CLOEXEC);
            if (loop >= 0 && ::ioctl(loop, LOOP_CONFIGURE, &config) != 0)
                loop = (::close(loop), -1);
        }
        ::close(control);
        ::close(file);
        return loop;
    }

private:

    // A FUSE daemon in the foreground, ended when the thread starting it (the
    // test's, which mounts) ends, however it ends: asked to, so that it
    // unmounts first. Killed, it could be the last in the test's mount
    // namespace and wait for ever on its own drive's unmount; in a session of
    // its own, a kill of the test's process group misses it. Mounted once the
    // folder is another file system's.
    void runDaemon(const QString& program, const QStringList& arguments)
    {
        const pid_t parent = ::getpid();
        daemon_.setChildProcessModifier([parent] {
            if (::setsid() < 0 || ::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)
                ::_exit(1);
        });
        daemon_.setStandardOutputFile(QProcess::nullDevice());
        daemon_.setStandardErrorFile(QProcess::nullDevice());
        daemon_.start(program, arguments);
        const auto device = [](const QString& folder) {
            struct stat status {};
            return ::stat(QFile::encodeName(folder).constData(), &status) == 0 ? status.st_dev : 0;
        };
        for (QDeadlineTimer deadline(10000); daemon_.waitForStarted() && !deadline.hasExpired() && !daemon_.waitForFinished(5);)
            if (device(at_) != device(at_ + "/.."))
                return remember(true);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void remember(bool mounted)
    {
        if (mounted)
            root_ = ::open(QFile::encodeName(at_).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }

    QTemporaryDir dir_;
    QString at_ = dir_.path();
    int root_ = -1;
    int loop_ = -1;
    QProcess daemon_;
};

} // namespace quorvia::test
