#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <expected>
#include <functional>
#include <system_error>

namespace quorvia::platform {

// Names a temporary of an atomic write carries, so a folder's owner can tell
// the pieces of a write that never finished from its real files.
inline constexpr char atomicWriteTemporaryMarker[] = ".tmp-";

// Writes `bytes` as `name` in the folder open at folderFd: to a private
// temporary first, synced, then renamed over `name`, so a reader finds the
// old file or the new one whole and never a part. On any failure the
// temporary is removed at once and the error is returned. With syncsFolder the
// new name itself is made durable too, and a failed folder sync answers its
// error, though the file is then in place under its name. `onMade` sees the
// temporary as soon as it is made, before a byte is written (to lock it, say).
std::expected<void, std::error_code> writeFileAtomically(int folderFd, const QByteArray& name, QByteArrayView bytes, bool syncsFolder,
                                                         const std::function<void(int fd)>& onMade = {});
// The same for a folder given by path.
std::expected<void, std::error_code> writeFileAtomically(const QString& folder, const QString& name, QByteArrayView bytes, bool syncsFolder);

// Makes what was written to the open file `fd` durable; false, with errno
// set, when that failed.
bool syncFile(int fd);
// Runs before every sync of syncFile and syncFolder: a test may record the
// order of syncs, or answer an errno a failing drive would give.
inline std::function<int(int fd)> onSync;

// Makes every name made or changed in the folder so far durable; false, with
// errno set, when that failed. A file system that cannot sync a folder
// (EINVAL) counts as done: it offers nothing better.
bool syncFolder(int folderFd);
void syncFolder(const QString& folder);

// 16 lower-case hex digits from the system's random source.
QString randomHex();

} // namespace quorvia::platform
