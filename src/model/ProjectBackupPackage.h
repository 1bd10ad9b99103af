#pragma once

#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupError.h"

#include <QString>

#include <expected>
#include <optional>

namespace quorvia {

// A folder package holding every project's manifest and a copy of each deck.
// File work only: callers run it off the main thread.
class ProjectBackupPackage {
public:
    ProjectBackupPackage() = delete;

    static inline const QString filenameExtension = QStringLiteral("quorviabackup");
    static inline const QString typeIdentifier = QStringLiteral("com.local.quorvia.project-backup");
    static inline const QString manifestName = QStringLiteral("manifest.json");
    static inline const QString documentsDirectoryName = QStringLiteral("Documents");
    // A larger manifest makes the package invalid.
    static constexpr qint64 manifestSizeLimit = 16 * 1024 * 1024;

    // Writes the package at destination. The destination is either replaced
    // whole by a complete package or, on any failure, left as it was.
    static std::expected<void, ProjectBackupFailure> exportBackup(const PresentationProjectsBackup& backup,
                                                                  const QString& destination);

    // Checks the package and copies every deck into the document store under
    // documentStoreRoot (the default root when none is given); the returned
    // record's decks and matching notes backups point at the copies.
    static std::expected<PresentationProjectsBackup, ProjectBackupFailure>
    importBackup(const QString& packagePath, const std::optional<QString>& documentStoreRoot = std::nullopt);

    // Relative, "/" separated, with no empty, "." or ".." segment and no NUL.
    static bool isSafeRelativePath(const QString& path);
};

} // namespace quorvia
