#pragma once

#include "model/ProjectBackupError.h"

#include <QString>
#include <QStringList>

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// The application's own folder of copied presentation documents. Every copy
// gets a folder of its own, so copies never collide, that only this user can
// enter. A copy is made in the store's incoming folder and moved into the
// store whole once complete and on the drive, so one cut short (the
// application killed, the power cut) is never taken for a document. A project
// names a copy only by its place in the store, so nothing in the incoming
// folder is ever named. What takes anything out of the store, and what it
// reads first:
// - a start moves the incoming folder aside whole, reading nothing: the
//   copies cut short there, and an import's copies not all admitted;
// - a start takes away an import's admitted copies no stored project names,
//   once it has read the import's record and, whole, the settings the record
//   says the projects went into: in their own folder, with their own identity
//   (an earlier build's record names only the folder), and a copy only by the
//   name the store gave it. A record larger than any import writes (never
//   read past that), one naming no settings, settings elsewhere (a copy in
//   another configuration folder, too), other settings in that folder (made
//   afresh there, too), or settings not read whole (damaged, unreadable, of a
//   newer version, projects kept aside unread) removes nothing: the record
//   waits for a start that can tell.
//   An import said done has no record left, so no start judges it, not even
//   one under an older copy of its settings put back;
// - what a start moved aside is removed later, in the background, reading
//   nothing more: it holds only what the start judged;
// - a copy or an import failing as it is admitted takes its own copies away,
//   before any project could name them.
// Every write asks the installed write gate first (platform/files/WriteGate),
// so no launch without the data folder's lock writes the store. File work
// only: callers run it off the main thread.
class ProjectDocumentStore {
public:
    ProjectDocumentStore() = delete;

    static inline const QString applicationFolderName = QStringLiteral("com.local.quorvia.mvp");
    static inline const QString documentsFolderName = QStringLiteral("ProjectDocuments");
    static inline const QString incomingFolderName = QStringLiteral(".incoming");
    static inline const QString discardedPrefix = QStringLiteral(".discarded-");
    // A record in the incoming folder of the copies being moved into the store together.
    static inline const QString admittingPrefix = QStringLiteral("admitting-");

    // Runs before each copy's folder moves into the store: a test may stop there, as a quit would.
    static inline std::function<void()> onAdmit;

    // Copies the file or folder package at sourcePath into a new folder of the
    // store under `root` (the default root when none is given); answers the copy's path.
    // A link at the top is followed, so the copy holds the document itself. The
    // store takes what a backup takes: a deck holding an item that is no file
    // and no folder, or a link leading out of it, is refused before anything is copied.
    // A missing source is named by its file; any other refusal names the
    // project `projectName`, or without one the source's file.
    static std::expected<QString, ProjectBackupFailure> copyDocument(const QString& sourcePath,
                                                                     const std::optional<QString>& root = std::nullopt,
                                                                     const QString& projectName = {});

    // The user's data folder + com.local.quorvia.mvp/ProjectDocuments, created when missing.
    static std::expected<QString, ProjectBackupFailure> defaultRoot();

    // A new folder for one copy in the making, in the incoming folder under `root`.
    static std::expected<std::filesystem::path, std::error_code> makeIncomingFolder(const std::filesystem::path& root);
    // Takes the incoming folder under `root` away once no copy is in it.
    static void leaveIncomingFolder(const std::filesystem::path& root);
    // Moves a complete copy's folder out of the incoming folder into the store
    // under `root`, under the same name, and has the name on the drive;
    // answers where it now is.
    static std::expected<std::filesystem::path, std::error_code> admit(const std::filesystem::path& incoming,
                                                                       const std::filesystem::path& root);
    // Admits several copies, all or none: answers where they now are. A record
    // names them, and `settings`, those the import's projects go into, by
    // where they are kept and by their identity, until endImport or the next
    // start that can read those settings whole: it takes away the copies no
    // stored project names then, as the import's projects may never have been
    // stored. The record is on the drive before any copy is admitted, or the
    // import fails with no record left.
    static std::expected<std::vector<std::filesystem::path>, std::error_code>
    admitTogether(const std::vector<std::filesystem::path>& incoming, const std::filesystem::path& root,
                  const platform::DefaultsStore* settings);
    // Once settings naming an import's copies are on the drive, its record
    // goes: `copies` as the imported projects name them. A removal that fails
    // or is cut short leaves the record to the next start.
    static void endImport(const QStringList& copies);
    // At start, before any copy begins: moves what copies cut short left in the
    // incoming folder out of the way, at once, with the copies admitted by an
    // import whose projects were not stored, and answers every such folder,
    // of this start and of earlier ones, for the caller to remove at leisure.
    // `storedDocuments` answers the documents the projects stored in the
    // settings at the given location with the given identity name (of an
    // earlier build's record, with no identity: at the location), or nothing
    // when those settings cannot tell (then that import's copies and record stay); it is asked
    // only once an import's record is found, and without it none is named.
    // Nothing else in the store is touched. The default root is not created.
    // Nothing happens where the write gate refuses: a launch without the data
    // folder's lock would empty the incoming folder under the running one's copies.
    static std::vector<std::filesystem::path>
    discardInterruptedCopies(const std::optional<QString>& root = std::nullopt,
                             const std::function<std::optional<QStringList>(const QString& settingsLocation, const QString& settingsIdentity)>&
                                 storedDocuments = {});

    static std::filesystem::path toPath(const QString& path);
    static QString fromPath(const std::filesystem::path& path);
};

} // namespace quorvia
