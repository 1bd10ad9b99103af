#include "platform/linux/application/InstanceLocks.h"

#include "platform/files/ErrorDescription.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform::native {

namespace {
bool isDenied(int error) { return error == EACCES || error == EPERM || error == EROFS; }

enum class LockFile { held, busy, unneeded, failed };

LockFile lockFile(const QString& path, FileDescriptor& fd, int& error)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    std::error_code made;
    std::filesystem::create_directories(folder.toStdString(), made);
    // A folder nobody can make or write holds nothing of ours, and no other
    // launch can write there either.
    if (made && isDenied(made.value())) {
        error = made.value();
        return LockFile::unneeded;
    }
    fd = openOrCreate(path);
    if (!fd.isOpen()) {
        error = errno == ELOOP ? EEXIST : errno;
        return isDenied(error) && ::access(folder.constData(), W_OK) != 0 && isDenied(errno) ? LockFile::unneeded
                                                                                              : LockFile::failed;
    }
    // Only a plain file of this user's: anything else there is not our lock.
    struct stat status {};
    const int statError = ::fstat(fd.get(), &status) == 0 ? 0 : errno;
    if (statError != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
        error = statError != 0 ? statError : EEXIST;
        fd.reset();
        return LockFile::failed;
    }
    int locked = -1;
    do
        locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked == 0)
        return LockFile::held;
    error = errno;
    fd.reset();
    return error == EWOULDBLOCK ? LockFile::busy : LockFile::failed;
}
} // namespace

InstanceLocks::InstanceLocks(std::vector<Lock> locks)
    : locks_(std::move(locks)), held_(locks_.size()), denied_(locks_.size(), 0)
{
}

InstanceLocks::~InstanceLocks()
{
    // The locks stay until the process ends: the store may still write on the way out.
    for (FileDescriptor& fd : held_)
        fd.release();
}

InstanceLocks::Taking InstanceLocks::take(QString* refusal)
{
    int error = 0;
    return take(error, refusal);
}

InstanceLocks::Taking InstanceLocks::take(int& error, QString* refusal)
{
    std::lock_guard lock(mutex_);
    std::vector<std::size_t> taken;
    for (std::size_t i = 0; i < locks_.size(); ++i) {
        if (held_[i].isOpen())
            continue;
        const LockFile outcome = lockFile(locks_[i].path, held_[i], error);
        denied_[i] = outcome == LockFile::unneeded ? error : 0;
        if (outcome == LockFile::held)
            taken.push_back(i);
        if (outcome != LockFile::busy && outcome != LockFile::failed)
            continue;
        for (const std::size_t j : taken)
            held_[j].reset();
        if (outcome == LockFile::busy)
            return Taking::busy;
        if (refusal)
            *refusal = locks_[i].refusal.arg(describeError(error));
        return Taking::failed;
    }
    return Taking::held;
}

void InstanceLocks::release()
{
    std::lock_guard lock(mutex_);
    for (FileDescriptor& fd : held_)
        fd.reset();
}

std::error_code InstanceLocks::beforeWrite(const QString& folder)
{
    int error = 0;
    switch (take(error, nullptr)) {
    case Taking::held:
        break;
    case Taking::busy:
        return anotherInstanceError();
    case Taking::failed:
        return {error, std::generic_category()};
    }
    // A lock no launch could take leaves room for two writers in a folder
    // beneath it that can still be written.
    const QString written = QDir::cleanPath(folder);
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < locks_.size(); ++i) {
        const QString guarded = QDir::cleanPath(QFileInfo(locks_[i].path).path());
        if (!held_[i].isOpen() && (written == guarded || written.startsWith(guarded + u'/')))
            return {denied_[i] != 0 ? denied_[i] : EACCES, std::generic_category()};
    }
    return {};
}

} // namespace quorvia::platform::native
