#pragma once

#include <QString>

#include <system_error>
#include <variant>

namespace quorvia {

// What an export met at its destination that kept its package out, and what
// became of what its renames had taken from under the name: the file steps
// say what happened, and the words the speaker reads are made here.
struct DestinationOutcome {
    enum class Found {
        notABackup, // something other than a backup package holds the name
        tampered,   // the package built was changed by someone else
        nameTaken,  // an item came under the name while it was free
        replaced,   // the backup under the name was swapped for another item
        moved,      // the package was moved away as soon as it held the name
        driveError, // the drive failed, with `error`
    };
    enum class Left {
        nothing,
        theirsBack,       // the other item is back under the name
        theirsKept,       // the other item waits in the staging folder
        oldBack,          // the old backup is back under the name
        oldKeptNameTaken, // the old backup waits in the staging folder, the name being taken
        oldKept,          // the old backup waits in the staging folder
        newUnconfirmed,   // the new package holds the name, not known to be on the drive
    };

    Found found = Found::driveError;
    Left left = Left::nothing;
    int error = 0;         // errno, when the drive failed
    QString stagingFolder; // the hidden folder anything kept waits in

    QString description() const;
};

// The program's own checks on backup packages and the document store.
struct ProjectBackupError {
    enum class Kind {
        unsupportedVersion,
        missingPresentation,
        invalidPackage,
        emptyBackup,
        invalidPresentationPath,
        // Beyond a limit or rule of backups; the text says which.
        refused,
    };

    Kind kind = Kind::invalidPackage;
    qint64 version = 0; // unsupportedVersion
    QString name;       // missingPresentation: a project's name, or a file name; refused: the whole text

    static ProjectBackupError unsupportedVersion(qint64 version) { return {Kind::unsupportedVersion, version, {}}; }
    static ProjectBackupError missingPresentation(const QString& name) { return {Kind::missingPresentation, 0, name}; }
    static ProjectBackupError invalidPackage() { return {Kind::invalidPackage, 0, {}}; }
    static ProjectBackupError emptyBackup() { return {Kind::emptyBackup, 0, {}}; }
    static ProjectBackupError invalidPresentationPath() { return {Kind::invalidPresentationPath, 0, {}}; }
    // `what` names the limit, as in "备份清单超过 256 MB 的上限".
    static ProjectBackupError refused(const QString& what) { return {Kind::refused, 0, what + QStringLiteral("。")}; }
    static ProjectBackupError atDestination(const DestinationOutcome& outcome) { return {Kind::refused, 0, outcome.description()}; }

    QString description() const;

    bool operator==(const ProjectBackupError&) const = default;
};

// Either one of our own checks or a file-system error passed on unchanged.
using ProjectBackupFailure = std::variant<ProjectBackupError, std::error_code>;

QString description(const ProjectBackupFailure& failure);

} // namespace quorvia
