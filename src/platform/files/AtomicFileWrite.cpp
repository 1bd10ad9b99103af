#include "platform/files/AtomicFileWrite.h"

#include "platform/files/FileDescriptor.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorvia::platform {

QString randomHex() { return QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0'); }

bool syncFile(int fd)
{
    if (onSync) {
        if (const int injected = onSync(fd)) {
            errno = injected;
            return false;
        }
    }
    return ::fsync(fd) == 0;
}

bool syncFolder(int folderFd) { return syncFile(folderFd) || errno == EINVAL; }

void syncFolder(const QString& folder)
{
    const FileDescriptor fd = openFolder(QFile::encodeName(folder).constData());
    if (fd.isOpen())
        syncFolder(fd.get());
}

std::expected<void, std::error_code> writeFileAtomically(int folderFd, const QByteArray& name, QByteArrayView bytes, bool syncsFolder,
                                                         const std::function<void(int fd)>& onMade)
{
    const QByteArray temporary = name + atomicWriteTemporaryMarker + randomHex().toLatin1();
    FileDescriptor fd = createFileAt(folderFd, temporary.constData());
    if (!fd.isOpen())
        return std::unexpected(lastError());
    if (onMade)
        onMade(fd.get());
    std::error_code error;
    if (!writeAll(fd.get(), bytes) || !syncFile(fd.get()))
        error = lastError();
    if (!fd.close() && !error)
        error = lastError();
    if (!error && ::renameat(folderFd, temporary.constData(), folderFd, name.constData()) != 0)
        error = lastError();
    if (error) {
        ::unlinkat(folderFd, temporary.constData(), 0);
        return std::unexpected(error);
    }
    // The new name is there, but not known to be on the drive: the caller treats it as a failed write.
    if (syncsFolder && !syncFolder(folderFd))
        return std::unexpected(lastError());
    return {};
}

std::expected<void, std::error_code> writeFileAtomically(const QString& folder, const QString& name, QByteArrayView bytes, bool syncsFolder)
{
    const FileDescriptor folderFd = openFolder(QFile::encodeName(folder).constData());
    if (!folderFd.isOpen())
        return std::unexpected(lastError());
    return writeFileAtomically(folderFd.get(), QFile::encodeName(name), bytes, syncsFolder);
}

} // namespace quorvia::platform
