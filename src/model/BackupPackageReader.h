#pragma once

#include "model/ProjectBackupError.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <filesystem>
#include <optional>
#include <vector>

namespace quorvia {

// Reads one backup package without ever leaving it: the package folder is
// opened once and every item beneath it is reached from that descriptor, one
// name at a time, refusing any link on the way, and copied from the very
// descriptor that was checked. A package in a folder others can write to can
// therefore not swap in a file of ours. Copies made into the document store
// are removed again unless the import keeps them. File work only.
class BackupPackageReader {
public:
    // More than this many bytes (or items) over all decks make the package invalid.
    static constexpr qint64 maximumTotalBytes = qint64(2) << 30;
    static constexpr qint64 maximumItems = 100000;

    // Nothing when the path is a link or not a folder.
    static std::optional<BackupPackageReader> open(const QString& packagePath);

    BackupPackageReader(BackupPackageReader&& other) noexcept;
    BackupPackageReader& operator=(BackupPackageReader&&) = delete;
    BackupPackageReader(const BackupPackageReader&) = delete;
    ~BackupPackageReader();

    // The regular file at `relativePath`, when it holds at most `limit` bytes.
    std::optional<QByteArray> readFile(const QString& relativePath, qint64 limit) const;

    // Copies the deck at `relativePath` (a safe relative path) into a new
    // folder of the store under `storeRoot`; answers the copy's path.
    // `projectName` names the missing presentation.
    std::expected<QString, ProjectBackupFailure> copyDeck(const QString& relativePath, const QString& projectName,
                                                          const std::filesystem::path& storeRoot);

    // The copies stay in the store; otherwise they go when the reader does.
    void keepCopies() { copies_.clear(); }

    // The budget left, for tests.
    qint64 bytesLeft() const { return bytesLeft_; }

private:
    explicit BackupPackageReader(int rootFd) : rootFd_(rootFd) {}

    std::expected<int, ProjectBackupFailure> openBeneath(const QString& relativePath, int flags,
                                                         const QString& projectName) const;
    std::expected<void, ProjectBackupFailure> copyFile(int sourceFd, int folderFd, const char* name);
    // `inside` is where the folder lies within the deck, for judging its links.
    std::expected<void, ProjectBackupFailure> copyFolder(int sourceFd, int folderFd, const char* name,
                                                         const std::filesystem::path& inside, int depth);
    std::expected<void, ProjectBackupFailure> charge(qint64 bytes);

    int rootFd_ = -1;
    qint64 bytesLeft_ = maximumTotalBytes;
    qint64 itemsLeft_ = maximumItems;
    std::vector<std::filesystem::path> copies_;
    // The store's folder when this import made it, so a failed import takes it away again.
    std::optional<std::filesystem::path> createdStoreRoot_;
};

} // namespace quorvia
