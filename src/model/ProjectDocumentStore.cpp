#include "model/ProjectDocumentStore.h"

#include "model/FilePaths.h"
#include "platform/Uuid.h"

#include <QFile>
#include <QStandardPaths>

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

    const fs::path folder = rootPath / toPath(platform::uuidString(platform::newUuid()));
    fs::create_directories(folder, error);
    if (error)
        return std::unexpected(error);
    const fs::path destination = folder / toPath(name);
    if (const std::error_code copyError = copyItem(source, destination)) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        return std::unexpected(copyError);
    }
    return fromPath(destination);
}

} // namespace quorvia
