#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::test {

// Read-only for everyone, root too, where a mount is allowed; else closed to
// this user. Writable again once gone.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : path_(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        mounted_ = ::mount(path_.constData(), path_.constData(), nullptr, MS_BIND, nullptr) == 0;
        if (mounted_)
            ::mount(nullptr, path_.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
        else
            ::chmod(path_.constData(), 0500);
    }
    ~ReadOnlyFolder() { mounted_ ? void(::umount2(path_.constData(), MNT_DETACH)) : void(::chmod(path_.constData(), 0700)); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool isReadOnly() const { return ::access(path_.constData(), W_OK) != 0; }
    // Read-only as a disk is, rather than closed to this user.
    bool isMounted() const { return mounted_; }

private:
    QByteArray path_;
    bool mounted_ = false;
};

} // namespace quorvia::test
