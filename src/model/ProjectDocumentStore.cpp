#include "model/ProjectDocumentStore.h"

#include "model/FilePaths.h"
#include "platform/Uuid.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace quorvia {

fs::path ProjectDocumentStore::toPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

QString ProjectDocumentStore::fromPath(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.native())); }

std::expected<QString, ProjectBackupFailure> ProjectDocumentStore::defaultRoot()
{
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataFolder.isEmpty())
        return std::unexpected(ProjectBackupError::invalidPresentationPath());
    const fs::path root = toPath(dataFolder) / toPath(applicationFolderName) / toPath(documentsFolderName);
    std::error_code error;
    fs::create_directories(root, error);
    if (error)
        return std::unexpected(error);
    return fromPath(root);
}

void ProjectDocumentStore::makePrivate(const fs::path& item)
{
    std::error_code error;
    const auto apply = [&](const fs::path& path, const fs::file_status& status) {
        if (fs::is_directory(status))
            fs::permissions(path, fs::perms::owner_all, error);
        else if (fs::is_regular_file(status))
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, error);
    };
    apply(item, fs::symlink_status(item, error));
    if (!fs::is_directory(fs::symlink_status(item, error)))
        return;
    for (fs::recursive_directory_iterator it(item, error), end; !error && it != end; it.increment(error))
        apply(it->path(), it->symlink_status(error));
}

std::error_code ProjectDocumentStore::copyItem(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    const fs::path source = fs::canonical(from, error);
    if (error)
        return error;
    const fs::file_status status = fs::status(source, error);
    if (error)
        return error;
    if (fs::is_directory(status))
        fs::copy(source, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    else if (fs::is_regular_file(status))
        fs::copy_file(source, to, error);
    else
        error = std::make_error_code(std::errc::operation_not_supported);
    return error;
}

std::expected<QString, ProjectBackupFailure> ProjectDocumentStore::copyDocument(const QString& sourcePath,
                                                                                const std::optional<QString>& root)
{
    const fs::path source = toPath(sourcePath);
    std::error_code error;
    if (sourcePath.isEmpty() || !fs::exists(source, error))
        return std::unexpected(ProjectBackupError::missingPresentation(paths::lastPathComponent(sourcePath)));

    // The copy is named after the source; a root folder or "." has no name to keep.
    const QString name = paths::lastPathComponent(sourcePath);
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/'))
        return std::unexpected(ProjectBackupError::invalidPresentationPath());

    fs::path rootPath;
    if (root) {
        rootPath = toPath(*root);
    } else {
        auto defaultPath = defaultRoot();
        if (!defaultPath)
            return std::unexpected(defaultPath.error());
        rootPath = toPath(*defaultPath);
    }

    // Only this user may enter the copy's folder, from the start.
    const fs::path folder = rootPath / toPath(platform::uuidString(platform::newUuid()));
    fs::create_directories(rootPath, error);
    if (error)
        return std::unexpected(error);
    if (::mkdir(folder.c_str(), 0700) != 0)
        return std::unexpected(std::error_code(errno, std::generic_category()));
    const fs::path destination = folder / toPath(name);
    if (const std::error_code copyError = copyItem(source, destination)) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        return std::unexpected(copyError);
    }
    makePrivate(destination);
    return fromPath(destination);
}

} // namespace quorvia
