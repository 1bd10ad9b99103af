#include "model/ProjectBackupPackage.h"

#include "model/BackupPackageReader.h"
#include "model/DeckCopier.h"
#include "model/DeckTree.h"
#include "model/FilePaths.h"
#include "model/ProjectDocumentStore.h"
#include "model/ScriptText.h"
#include "model/StagingFolder.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/core/Uuid.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia {

using platform::FileDescriptor;
using platform::lastError;

namespace {

fs::path toPath(const QString& path) { return ProjectDocumentStore::toPath(path); }

// Adds one deck to the total; refused once the decks together hold too many items.
std::expected<void, ProjectBackupFailure> addDeck(DeckTree::Size& total, const DeckTree::Size& deck, const BackupLimits& limits)
{
    total += deck;
    if (total.items > limits.deckItems)
        return std::unexpected(ProjectBackupError::refused(limits.deckItemsText()));
    return {};
}

// The keys and values a JSON text holds, counted without parsing it.
qsizetype jsonItemCount(const QByteArray& text)
{
    qsizetype count = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == ',' || c == ':' || c == '[' || c == '{')
            ++count;
    }
    return count;
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

std::optional<PresentationProjectsBackup> ProjectBackupPackage::decodeManifest(const QByteArray& bytes)
{
    // Parsing keeps about 16 bytes for each key and value, far more than a
    // short number such as "0," takes in the text. The manifests export
    // writes, one member to a line, take more than this for each; a denser
    // one would take many times its size in memory to read.
    if (jsonItemCount(bytes) > bytes.size() / 8 + 64)
        return std::nullopt;
    return PresentationProjectsBackup::fromManifest(bytes);
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
    for (auto& project : record.projects) {
        if (auto problem = scriptProblem(project))
            return std::unexpected(*problem);
        if (!project.deck) {
            project.deckAssetPath.reset();
            continue;
        }
        const QString& sourcePath = project.deck->filePath;
        const auto deck = DeckTree::openSpeakersDeck(sourcePath, project.name);
        if (!deck)
            return std::unexpected(deck.error());
        const QString relative = documentsDirectoryName + u'/' + platform::uuidString(project.id) + u'/'
            + paths::lastPathComponent(sourcePath);
        if (!isSafeRelativePath(relative))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        project.deckAssetPath = relative;
        const auto size = DeckTree::measure(deck->get(), project.name, limits, DeckTree::Source::speakersDeck);
        if (!size)
            return std::unexpected(size.error());
        if (auto refused = addDeck(decks, *size, limits); !refused)
            return std::unexpected(refused.error());
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
    const std::string targetName = target.filename().native();
    if (targetName.empty() || targetName == "." || targetName == "..")
        return std::unexpected(ProjectBackupError::invalidPresentationPath());
    const FileDescriptor parent = platform::openFolder(folder.c_str());
    if (!parent.isOpen())
        return std::unexpected(lastError());
    StagingFolder::sweepLeftovers(parent.get(), limits.manifestBytes);
    struct statvfs disk {};
    if (::fstatvfs(parent.get(), &disk) != 0)
        return std::unexpected(lastError());
    // Room on a drive nothing can be written to is beside the point.
    if (disk.f_flag & ST_RDONLY)
        return std::unexpected(std::make_error_code(std::errc::read_only_file_system));
    // The package folder, Documents, one folder per deck and the manifest besides the decks.
    if (auto problem = BackupLimits::spaceProblem(disk, BackupLimits::addSizes(decks.bytes, manifest.size()),
                                                  BackupLimits::addSizes(decks.items, 2 * qint64(record.projects.size()) + 3),
                                                  QStringLiteral("所选位置")))
        return std::unexpected(*problem);

    // Staged beside the destination, so putting it in place is a rename; built
    // only through the descriptor of the folder made for it, from the first
    // copy private to this user.
    StagingFolder staging(parent.get(), targetName, limits.manifestBytes);
    if (auto made = staging.create(); !made)
        return std::unexpected(made.error());

    // Every file and folder of the package reaches the drive before the
    // package takes the name: the copier syncs what it copies, the rest is synced here.
    DeckCopier copier(limits);
    copier.allowBytes(decks.bytes);
    std::optional<FileDescriptor> documents;
    for (const auto& project : record.projects) {
        if (!project.deckAssetPath)
            continue;
        if (!documents) {
            auto made = platform::makeFolderAt(staging.packageFd(), QFile::encodeName(documentsDirectoryName).constData());
            if (!made)
                return std::unexpected(made.error());
            documents = std::move(*made);
        }
        auto projectFolder = platform::makeFolderAt(documents->get(), QFile::encodeName(platform::uuidString(project.id)).constData());
        if (!projectFolder)
            return std::unexpected(projectFolder.error());
        const auto source = DeckTree::openSpeakersDeck(project.deck->filePath, project.name);
        if (!source)
            return std::unexpected(source.error());
        const QByteArray name = QFile::encodeName(project.deckAssetPath->section(u'/', -1));
        if (auto copied = copier.copy(source->get(), projectFolder->get(), name.constData()); !copied)
            return std::unexpected(copied.error());
    }
    if (documents && !platform::syncFolder(documents->get()))
        return std::unexpected(lastError());

    if (auto written = platform::writeFileAtomically(staging.packageFd(), QFile::encodeName(manifestName), manifest, false); !written)
        return std::unexpected(written.error());
    if (!platform::syncFolder(staging.packageFd()))
        return std::unexpected(lastError());
    return staging.putInPlace();
}

std::expected<PresentationProjectsBackup, ProjectBackupFailure>
ProjectBackupPackage::importBackup(const QString& packagePath, const platform::DefaultsStore* settings,
                                   const std::optional<QString>& documentStoreRoot, const BackupLimits& limits)
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
    auto decoded = decodeManifest(*manifest);
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

    // Every deck is measured, and the store's disk asked for room, before any is copied.
    DeckTree::Size decks;
    for (auto& project : record.projects) {
        if (!project.deck) {
            project.deckAssetPath.reset();
            continue;
        }
        if (!project.deckAssetPath || !isSafeRelativePath(*project.deckAssetPath))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        const auto size = reader->measureDeck(*project.deckAssetPath, project.name);
        if (!size)
            return std::unexpected(size.error());
        if (auto refused = addDeck(decks, *size, limits); !refused)
            return std::unexpected(refused.error());
    }
    std::optional<fs::path> storeRoot;
    if (decks.items > 0) {
        auto root = documentStoreRoot ? std::expected<QString, ProjectBackupFailure>(*documentStoreRoot)
                                      : ProjectDocumentStore::defaultRoot();
        if (!root)
            return std::unexpected(root.error());
        storeRoot = toPath(*root);
        // The store may not be there yet: its disk is the nearest folder's that is.
        fs::path existing = *storeRoot;
        struct statvfs disk {};
        while (::statvfs(existing.c_str(), &disk) != 0) {
            if (errno != ENOENT || !existing.has_relative_path())
                return std::unexpected(lastError());
            existing = existing.parent_path();
        }
        // One folder per deck besides the decks.
        if (auto problem = BackupLimits::spaceProblem(disk, decks.bytes, BackupLimits::addSizes(decks.items, decks.items), QStringLiteral("演示文稿存放位置")))
            return std::unexpected(*problem);
        reader->allowBytes(decks.bytes);
    }
    for (auto& project : record.projects) {
        if (!project.deck)
            continue;
        auto copy = reader->copyDeck(*project.deckAssetPath, project.name, *storeRoot);
        if (!copy)
            return std::unexpected(copy.error());
        const PresentationDeck bound = *project.deck;
        project.deck = bound.relocated(*copy);
        if (project.keynoteNotesBackup)
            project.keynoteNotesBackup = project.keynoteNotesBackup->relocated(*copy, bound);
    }
    if (auto kept = reader->keepCopies(settings); !kept)
        return std::unexpected(kept.error());
    return record;
}

} // namespace quorvia
