#pragma once

#include <QString>

#include <system_error>
#include <variant>

namespace quorvia {

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

    QString description() const;

    bool operator==(const ProjectBackupError&) const = default;
};

// Either one of our own checks or a file-system error passed on unchanged.
using ProjectBackupFailure = std::variant<ProjectBackupError, std::error_code>;

QString description(const ProjectBackupFailure& failure);

} // namespace quorvia
