#pragma once

#include "model/BackupLimits.h"
#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupError.h"
#include "model/ProjectDocumentStore.h"

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
    // The desktop's file type for a package (installed as shared MIME info):
    // a kind of folder, with its own icon.
    static inline const QString contentType = QStringLiteral("application/x-quorvia-project-backup");
    static inline const QString manifestName = QStringLiteral("manifest.json");
    static inline const QString documentsDirectoryName = QStringLiteral("Documents");
    // Writes the package at destination. The destination is either replaced
    // whole by a complete package or, on any failure, left as it was. A backup
    // beyond the limits, with a script beyond the script limits, or larger than
    // the destination's disk has room for, is refused before anything is
    // written. The package is this user's alone from its first byte, even in a
    // folder others can write to, wherever the drive keeps Unix modes. What
    // exports of this user cut short left in the destination's folder is
    // removed before its disk is asked for room.
    static std::expected<void, ProjectBackupFailure> exportBackup(const PresentationProjectsBackup& backup,
                                                                  const QString& destination,
                                                                  const BackupLimits& limits = BackupLimits::standard());

    // Checks the package and copies every deck into the document store under
    // documentStoreRoot (the default root when none is given); the returned
    // record's decks and matching notes backups point at the copies. The same
    // limits as export's hold, every script keeps to the script limits, and
    // decks the store's disk has no room for are refused before any is copied.
    // Every copy is on the drive, data and name, before the record is answered.
    // Until ProjectDocumentStore::endImport, the next start takes away the
    // copies no project stored in `settings` names by then (admitTogether);
    // the caller takes them on the main thread and holds them while the
    // import runs.
    static std::expected<PresentationProjectsBackup, ProjectBackupFailure>
    importBackup(const QString& packagePath, const platform::DefaultsStore* settings,
                 const std::optional<QString>& documentStoreRoot = std::nullopt,
                 const BackupLimits& limits = BackupLimits::standard());

    // The manifest `bytes` as a record; nothing when they do not read as a
    // backup's manifest.
    static std::optional<PresentationProjectsBackup> decodeManifest(const QByteArray& bytes);

    // Why the project's script is beyond the script limits, or nothing.
    static std::optional<ProjectBackupError> scriptProblem(const PresentationProjectsBackup::Project& project);

    // Relative, "/" separated, with no empty, "." or ".." segment and no NUL.
    static bool isSafeRelativePath(const QString& path);
};

} // namespace quorvia
