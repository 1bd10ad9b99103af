#include "model/ProjectBackupPackage.h"

#include "model/BackupPackageReader.h"
#include "model/DeckTree.h"
#include "model/FilePaths.h"
#include "model/ProjectDocumentStore.h"
#include "model/ScriptText.h"
#include "platform/Uuid.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia {

namespace {

fs::path toPath(const QString& path) { return ProjectDocumentStore::toPath(path); }

QString newStagingName(const QString& role)
{
    return QStringLiteral(".QuorviaBackup-") + role + platform::uuidString(platform::newUuid());
}

// Removes a folder when the export ends, however it ends.
class StagingFolder {
public:
    explicit StagingFolder(fs::path path) : path_(std::move(path)) {}
    ~StagingFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Written under a temporary name and renamed, so the file is whole or absent.
std::error_code writeFileAtomically(const fs::path& path, const QByteArray& data)
{
    const fs::path temporary = path.parent_path() / (path.filename().native() + ".partial");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return {errno, std::generic_category()};
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, static_cast<size_t>(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const std::error_code error(errno, std::generic_category());
            ::close(fd);
            ::unlink(temporary.c_str());
            return error;
        }
        written += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::error_code error(errno, std::generic_category());
        ::unlink(temporary.c_str());
        return error;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::error_code error(errno, std::generic_category());
        ::unlink(temporary.c_str());
        return error;
    }
    return {};
}

// Puts the staged package in place of what is at destination. Both lie in one
// folder, so the swap is a rename and never a copy across file systems.
std::error_code replaceItem(const fs::path& destination, const fs::path& staged)
{
    if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) == 0)
        return {}; // the old item now sits at the staged path and goes with it
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return {errno, std::generic_category()};

    // No atomic exchange on this file system: set the old item aside first.
    const fs::path aside = destination.parent_path() / newStagingName(QStringLiteral("previous-")).toStdString();
    std::error_code error;
    fs::rename(destination, aside, error);
    if (error)
        return error;
    fs::rename(staged, destination, error);
    if (error) {
        std::error_code ignored;
        fs::rename(aside, destination, ignored);
        return error;
    }
    std::error_code ignored;
    fs::remove_all(aside, ignored);
    return {};
}

} // namespace

bool ProjectBackupPackage::isSafeRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(u'/') || path.contains(QChar(0)))
        return false;
    for (const QString& segment : path.split(u'/')) {
        if (segment.isEmpty() || segment == u"." || segment == u"..")
            return false;
    }
    return true;
}

std::optional<ProjectBackupError> ProjectBackupPackage::scriptProblem(const PresentationProjectsBackup::Project& project)
{
    if (const auto limit = ScriptText::exceededLimit(project.timelineBlocks, project.rawText))
        return ProjectBackupError::refused(QStringLiteral("项目“") + project.name + QStringLiteral("”的")
                                           + ScriptText::limitText(*limit)
                                           + (*limit == ScriptText::SizeLimit::blockCount ? QStringLiteral("的上限")
                                                                                         : QStringLiteral(" 的上限")));
    return std::nullopt;
}

std::expected<void, ProjectBackupFailure> ProjectBackupPackage::exportBackup(const PresentationProjectsBackup& backup,
                                                                             const QString& destination,
                                                                             const BackupLimits& limits)
{
    if (backup.projects.empty())
        return std::unexpected(ProjectBackupError::emptyBackup());

    // Everything an import would refuse is refused here, before a byte is written.
    PresentationProjectsBackup record = backup;
    DeckTree::Size decks;
    std::error_code error;
    for (auto& project : record.projects) {
        if (auto problem = scriptProblem(project))
            return std::unexpected(*problem);
        if (!project.deck) {
            project.deckAssetPath.reset();
            continue;
        }
        const QString& sourcePath = project.deck->filePath;
        if (sourcePath.isEmpty() || !fs::exists(toPath(sourcePath), error))
            return std::unexpected(ProjectBackupError::missingPresentation(project.name));
        const QString relative = documentsDirectoryName + u'/' + platform::uuidString(project.id) + u'/'
            + paths::lastPathComponent(sourcePath);
        if (!isSafeRelativePath(relative))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        project.deckAssetPath = relative;
        const auto size = DeckTree::measure(toPath(sourcePath), project.name, limits);
        if (!size)
            return std::unexpected(size.error());
        decks.bytes += size->bytes;
        decks.items += size->items;
        if (decks.items > limits.deckItems)
            return std::unexpected(ProjectBackupError::refused(limits.deckItemsText()));
        if (decks.bytes > limits.deckBytes)
            return std::unexpected(ProjectBackupError::refused(limits.deckBytesText()));
    }
    const QByteArray manifest = record.toManifest();
    if (manifest.size() > limits.manifestBytes)
        return std::unexpected(ProjectBackupError::refused(limits.manifestText()));

    fs::path target = toPath(destination);
    if (target.has_relative_path() && !target.has_filename())
        target = target.parent_path(); // a trailing "/"
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    // Staged beside the destination: replacing it is then a rename on one file system.
    const fs::path stagingPath = folder / newStagingName({}).toStdString();
    if (::mkdir(stagingPath.c_str(), 0700) != 0)
        return std::unexpected(std::error_code(errno, std::generic_category()));
    const StagingFolder staging(stagingPath);

    DeckTree::Size copied;
    for (const auto& project : record.projects) {
        if (!project.deckAssetPath)
            continue;
        const fs::path copy = staging.path() / toPath(*project.deckAssetPath);
        fs::create_directories(copy.parent_path(), error);
        if (error)
            return std::unexpected(error);
        if (const std::error_code copyError = ProjectDocumentStore::copyItem(toPath(project.deck->filePath), copy))
            return std::unexpected(copyError);
        // A deck that grew since it was measured must still fit.
        const auto size = DeckTree::measure(copy, project.name, limits);
        if (!size)
            return std::unexpected(size.error());
        copied.bytes += size->bytes;
        copied.items += size->items;
        if (copied.items > limits.deckItems)
            return std::unexpected(ProjectBackupError::refused(limits.deckItemsText()));
        if (copied.bytes > limits.deckBytes)
            return std::unexpected(ProjectBackupError::refused(limits.deckBytesText()));
    }

    if (const std::error_code writeError = writeFileAtomically(staging.path() / toPath(manifestName), manifest))
        return std::unexpected(writeError);
    // Only this user may read what an export holds, as with the settings store.
    ProjectDocumentStore::makePrivate(staging.path());

    const bool replacing = fs::exists(fs::symlink_status(target, error));
    const std::error_code moveError = replacing ? replaceItem(target, staging.path()) : [&] {
        std::error_code e;
        fs::rename(staging.path(), target, e);
        return e;
    }();
    if (moveError)
        return std::unexpected(moveError);
    return {};
}

std::expected<PresentationProjectsBackup, ProjectBackupFailure>
ProjectBackupPackage::importBackup(const QString& packagePath, const std::optional<QString>& documentStoreRoot,
                                   const BackupLimits& limits)
{
    const QString packageName = paths::lastPathComponent(packagePath);
    const qsizetype dot = packageName.lastIndexOf(u'.');
    if (dot <= 0 || packageName.mid(dot + 1).compare(filenameExtension, Qt::CaseInsensitive) != 0)
        return std::unexpected(ProjectBackupError::invalidPackage());

    auto reader = BackupPackageReader::open(packagePath, limits);
    if (!reader)
        return std::unexpected(ProjectBackupError::invalidPackage());
    bool tooLarge = false;
    const auto manifest = reader->readFile(manifestName, limits.manifestBytes, &tooLarge);
    if (!manifest)
        return std::unexpected(tooLarge ? ProjectBackupError::refused(limits.manifestText())
                                        : ProjectBackupError::invalidPackage());
    auto decoded = PresentationProjectsBackup::fromManifest(*manifest);
    if (!decoded)
        return std::unexpected(ProjectBackupError::invalidPackage());
    PresentationProjectsBackup record = std::move(*decoded);
    if (record.formatVersion != PresentationProjectsBackup::currentFormatVersion)
        return std::unexpected(ProjectBackupError::unsupportedVersion(record.formatVersion));
    if (record.projects.empty())
        return std::unexpected(ProjectBackupError::emptyBackup());
    for (const auto& project : record.projects)
        if (auto problem = scriptProblem(project))
            return std::unexpected(*problem);

    std::optional<fs::path> storeRoot;
    for (auto& project : record.projects) {
        if (!project.deck) {
            project.deckAssetPath.reset();
            continue;
        }
        if (!project.deckAssetPath || !isSafeRelativePath(*project.deckAssetPath))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        if (!storeRoot) {
            auto root = documentStoreRoot ? std::expected<QString, ProjectBackupFailure>(*documentStoreRoot)
                                          : ProjectDocumentStore::defaultRoot();
            if (!root)
                return std::unexpected(root.error());
            storeRoot = toPath(*root);
        }
        auto copy = reader->copyDeck(*project.deckAssetPath, project.name, *storeRoot);
        if (!copy)
            return std::unexpected(copy.error());
        const PresentationDeck bound = *project.deck;
        project.deck = bound.relocated(*copy);
        if (project.keynoteNotesBackup)
            project.keynoteNotesBackup = project.keynoteNotesBackup->relocated(*copy, bound);
    }
    if (auto kept = reader->keepCopies(); !kept)
        return std::unexpected(kept.error());
    return record;
}

} // namespace quorvia
