#pragma once

#include "model/BackupLimits.h"
#include "model/DeckCopier.h"
#include "model/DeckTree.h"
#include "model/ProjectBackupError.h"
#include "platform/files/FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <filesystem>
#include <optional>
#include <vector>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// Reads one backup package without ever leaving it: the package folder is
// opened once and every item beneath it is reached from that descriptor, one
// name at a time, refusing any link on the way, and copied from the very
// descriptor that was checked. A package in a folder others can write to can
// therefore not swap in a file of ours. Copies made into the document store
// are removed again unless the import keeps them. File work only.
class BackupPackageReader {
public:
    // Nothing when the path is a link or not a folder. Decks beyond the
    // limits are refused as they are measured or copied.
    static std::optional<BackupPackageReader> open(const QString& packagePath,
                                                   const BackupLimits& limits = BackupLimits::standard());

    // A moved-from reader holds no copies: the vector is left empty.
    BackupPackageReader(BackupPackageReader&&) noexcept = default;
    BackupPackageReader& operator=(BackupPackageReader&&) = delete;
    BackupPackageReader(const BackupPackageReader&) = delete;
    ~BackupPackageReader();

    // The regular file at `relativePath`, when it holds at most `limit` bytes;
    // `tooLarge` tells a larger file from one that could not be read.
    std::optional<QByteArray> readFile(const QString& relativePath, qint64 limit, bool* tooLarge = nullptr) const;

    // What a copy of the deck at `relativePath` would take.
    std::expected<DeckTree::Size, ProjectBackupFailure> measureDeck(const QString& relativePath,
                                                                      const QString& projectName) const;

    // Copies the deck at `relativePath` (a safe relative path) into a new
    // folder of the store under `storeRoot`; answers the copy's path.
    // `projectName` names the missing presentation.
    std::expected<QString, ProjectBackupFailure> copyDeck(const QString& relativePath, const QString& projectName,
                                                          const std::filesystem::path& storeRoot);

    // The bytes all decks copied together may take, once measured.
    void allowBytes(qint64 bytes) { copier_.allowBytes(bytes); }

    // The copies move into the store, all or none, each on the drive, data
    // and name; the next start keeps those a stored project in `settings`
    // names by then (ProjectDocumentStore::admitTogether). Copies not kept go
    // when the reader does.
    std::expected<void, ProjectBackupFailure> keepCopies(const platform::DefaultsStore* settings);

private:
    BackupPackageReader(platform::FileDescriptor root, const BackupLimits& limits)
        : root_(std::move(root)), limits_(limits), copier_(limits)
    {
    }

    std::expected<platform::FileDescriptor, ProjectBackupFailure> openBeneath(const QString& relativePath,
                                                                              const QString& projectName) const;

    platform::FileDescriptor root_;
    BackupLimits limits_;
    DeckCopier copier_;
    struct Copy {
        std::filesystem::path incoming;
        std::filesystem::path storeRoot;
    };
    std::vector<Copy> copies_;
    // The store's folder when this import made it, so a failed import takes it away again.
    std::optional<std::filesystem::path> createdStoreRoot_;
};

} // namespace quorvia
