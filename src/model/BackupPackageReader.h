#pragma once

#include "model/BackupLimits.h"
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
    // Nothing when the path is a link or not a folder. Decks beyond the
    // limits are refused as they are copied.
    static std::optional<BackupPackageReader> open(const QString& packagePath,
                                                   const BackupLimits& limits = BackupLimits::standard());

    BackupPackageReader(BackupPackageReader&& other) noexcept;
    BackupPackageReader& operator=(BackupPackageReader&&) = delete;
    BackupPackageReader(const BackupPackageReader&) = delete;
    ~BackupPackageReader();

    // The regular file at `relativePath`, when it holds at most `limit` bytes;
    // `tooLarge` tells a larger file from one that could not be read.
    std::optional<QByteArray> readFile(const QString& relativePath, qint64 limit, bool* tooLarge = nullptr) const;

    // Copies the deck at `relativePath` (a safe relative path) into a new
    // folder of the store under `storeRoot`; answers the copy's path.
    // `projectName` names the missing presentation.
    std::expected<QString, ProjectBackupFailure> copyDeck(const QString& relativePath, const QString& projectName,
                                                          const std::filesystem::path& storeRoot);

    // The copies move into the store, all or none; otherwise they go when the reader does.
    std::expected<void, ProjectBackupFailure> keepCopies();

    // The budget left, for tests.
    qint64 bytesLeft() const { return bytesLeft_; }

private:
    BackupPackageReader(int rootFd, const BackupLimits& limits)
        : rootFd_(rootFd), limits_(limits), bytesLeft_(limits.deckBytes), itemsLeft_(limits.deckItems)
    {
    }

    std::expected<int, ProjectBackupFailure> openBeneath(const QString& relativePath, int flags,
                                                         const QString& projectName) const;
    std::expected<void, ProjectBackupFailure> copyFile(int sourceFd, int folderFd, const char* name);
    // `inside` is where the folder lies within the deck; its links are noted
    // there, to be judged once the whole deck is copied.
    std::expected<void, ProjectBackupFailure> copyFolder(int sourceFd, int folderFd, const char* name,
                                                         const std::filesystem::path& inside, int depth);
    std::expected<void, ProjectBackupFailure> charge(qint64 bytes, qint64 items);

    int rootFd_ = -1;
    BackupLimits limits_;
    qint64 bytesLeft_ = 0;
    qint64 itemsLeft_ = 0;
    std::vector<std::filesystem::path> links_;
    struct Copy {
        std::filesystem::path incoming;
        std::filesystem::path storeRoot;
    };
    std::vector<Copy> copies_;
    // The store's folder when this import made it, so a failed import takes it away again.
    std::optional<std::filesystem::path> createdStoreRoot_;
};

} // namespace quorvia
