#pragma once

#include "model/ProjectBackupError.h"

#include <QString>

#include <expected>
#include <filesystem>
#include <optional>
#include <system_error>

namespace quorvia {

// The application's own folder of copied presentation documents. Every copy
// gets a folder of its own, so copies never collide, that only this user can
// enter; a kept copy is never removed. File work only: callers run it off the
// main thread.
class ProjectDocumentStore {
public:
    ProjectDocumentStore() = delete;

    static inline const QString applicationFolderName = QStringLiteral("com.local.quorvia.mvp");
    static inline const QString documentsFolderName = QStringLiteral("ProjectDocuments");

    // Copies the file or folder package at sourcePath into a new folder of the
    // store under `root` (the default root when none is given); answers the copy's path.
    static std::expected<QString, ProjectBackupFailure> copyDocument(const QString& sourcePath,
                                                                     const std::optional<QString>& root = std::nullopt);

    // The user's data folder + com.local.quorvia.mvp/ProjectDocuments, created when missing.
    static std::expected<QString, ProjectBackupFailure> defaultRoot();

    // Copies a document to `to`: a link at the top is followed, so the copy holds
    // the document itself; inside a folder links are copied as links, never followed.
    static std::error_code copyItem(const std::filesystem::path& from, const std::filesystem::path& to);

    // Files only this user can read and write, folders only this user can
    // enter, throughout the item; links are left as they are.
    static void makePrivate(const std::filesystem::path& item);

    static std::filesystem::path toPath(const QString& path);
    static QString fromPath(const std::filesystem::path& path);
};

} // namespace quorvia
