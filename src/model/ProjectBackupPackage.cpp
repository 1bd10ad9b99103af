#include "model/ProjectBackupPackage.h"

#include "model/BackupPackageReader.h"
#include "model/DeckCopier.h"
#include "model/DeckTree.h"
#include "model/FilePaths.h"
#include "model/ProjectDocumentStore.h"
#include "model/ScriptText.h"
#include "platform/AtomicFileWrite.h"
#include "platform/Uuid.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
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

const QString stagingPrefix = QStringLiteral(".QuorviaBackup-");
const QString previousRole = QStringLiteral("previous-");

std::string newStagingName(const QString& role)
{
    return QFile::encodeName(stagingPrefix + role + platform::uuidString(platform::newUuid())).toStdString();
}

bool isStagingName(const std::string& name)
{
    const QString text = QFile::decodeName(QByteArray::fromStdString(name));
    if (!text.startsWith(stagingPrefix))
        return false;
    QString uuid = text.mid(stagingPrefix.size());
    if (uuid.startsWith(previousRole))
        uuid = uuid.mid(previousRole.size());
    return platform::parseUuid(uuid).has_value();
}

std::mutex& stagingNamesMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::set<std::string>& stagingNamesInUse()
{
    static std::set<std::string> names;
    return names;
}

// A staging name this process writes under for as long as it is held. Only
// one instance runs per user, so a staging item of ours under any other name
// is what an export that never finished left behind.
class HeldStagingName {
public:
    explicit HeldStagingName(std::string name) : name_(std::move(name))
    {
        const std::lock_guard lock(stagingNamesMutex());
        stagingNamesInUse().insert(name_);
    }
    ~HeldStagingName()
    {
        const std::lock_guard lock(stagingNamesMutex());
        stagingNamesInUse().erase(name_);
    }
    HeldStagingName(const HeldStagingName&) = delete;
    HeldStagingName& operator=(const HeldStagingName&) = delete;
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// Removes from the folder open at `folderFd` what exports that never
// finished (killed, a crash, a power cut) left there: staging folders and the
// older packages they replaced, which would otherwise take the disk's room
// out of sight. Only items of this user under a staging name are touched.
void sweepLeftovers(int folderFd)
{
    for (const std::string& name : DeckTree::entryNames(folderFd).value_or(std::vector<std::string>())) {
        if (!isStagingName(name))
            continue;
        struct stat status {};
        if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || status.st_uid != ::geteuid())
            continue;
        {
            const std::lock_guard lock(stagingNamesMutex());
            if (stagingNamesInUse().contains(name))
                continue;
        }
        DeckCopier::remove(folderFd, name.c_str());
    }
}

using Identity = std::pair<dev_t, ino_t>;

std::optional<Identity> identityAt(int folderFd, const std::string& name)
{
    struct stat status {};
    if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return Identity(status.st_dev, status.st_ino);
}

// A private folder `name` in the folder open at `parentFd`, opened; one
// already there is taken only when `existing` says so.
std::expected<FileDescriptor, std::error_code> makeFolder(int parentFd, const char* name, bool existing = true)
{
    const bool made = ::mkdirat(parentFd, name, 0700) == 0;
    if (!made && (errno != EEXIST || !existing))
        return std::unexpected(lastError());
    FileDescriptor folder = platform::openFolderAt(parentFd, name);
    if (!folder.isOpen()) {
        const std::error_code error = lastError();
        // Gone with the failure, if it is still the empty folder just made.
        if (made)
            ::unlinkat(parentFd, name, AT_REMOVEDIR);
        return std::unexpected(error);
    }
    return folder;
}

// The staging folder, held by its descriptor in the destination's folder,
// which another user may be able to write: its name is trusted for nothing.
// However the export ends, it takes away what it made and what it replaced.
class StagingFolder {
public:
    StagingFolder(int parentFd, std::string name) : parentFd_(parentFd), name_(std::move(name)) {}
    ~StagingFolder()
    {
        // Through the descriptor: what is in it goes even when the folder
        // itself was moved away from its name.
        if (fd_.get() >= 0 && !placed_)
            DeckCopier::removeContents(fd_.get());
        if (atName_ && identityAt(parentFd_, name()) == atName_)
            DeckCopier::remove(parentFd_, name().c_str());
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    std::error_code create()
    {
        auto made = makeFolder(parentFd_, name_.name().c_str(), false);
        if (!made)
            return made.error();
        fd_ = std::move(*made);
        struct stat status {};
        if (::fstat(fd_.get(), &status) != 0)
            return lastError();
        // Another user's folder swapped in meanwhile is not ours to fill, nor to remove.
        if (status.st_uid != ::geteuid())
            return std::make_error_code(std::errc::permission_denied);
        identity_ = Identity(status.st_dev, status.st_ino);
        atName_ = identity_;
        // A drive without Unix modes (FAT, NTFS, a network share) shows every
        // folder open whatever is asked; where modes are kept, ours is private.
        if ((status.st_mode & 077) != 0)
            ::fchmod(fd_.get(), 0700);
        return {};
    }
    int fd() const { return fd_.get(); }
    const std::string& name() const { return name_.name(); }
    const Identity& identity() const { return identity_; }
    // The package is in place; the staging name holds the item it replaced, if any.
    void placed(std::optional<Identity> replaced)
    {
        placed_ = true;
        atName_ = replaced;
    }

private:
    int parentFd_;
    HeldStagingName name_;
    FileDescriptor fd_;
    Identity identity_;
    std::optional<Identity> atName_;
    bool placed_ = false;
};

// The deck bound at `path`, through a link at the top as the speaker bound it;
// judged by type before it is opened.
std::expected<FileDescriptor, ProjectBackupFailure> openDeck(const QString& path, const QString& projectName)
{
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::unexpected(ProjectBackupError::missingPresentation(projectName));
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return std::unexpected(DeckTree::neitherFileNorFolder(projectName, DeckTree::Source::speakersDeck));
    FileDescriptor deck = platform::openForReading(path);
    if (!deck.isOpen())
        return std::unexpected(lastError());
    return deck;
}

// Adds one deck to the total; refused once the decks together hold too many items.
std::expected<void, ProjectBackupFailure> addDeck(DeckTree::Size& total, const DeckTree::Size& deck, const BackupLimits& limits)
{
    total += deck;
    if (total.items > limits.deckItems)
        return std::unexpected(ProjectBackupError::refused(limits.deckItemsText()));
    return {};
}

// Puts the staged package in place of `destination`, both names in the
// folder open at `parentFd`: a rename, never a copy across file systems.
// Answers what the staging name holds afterwards: the replaced item, if any.
std::expected<std::optional<Identity>, std::error_code> putInPlace(int parentFd, const StagingFolder& staging,
                                                                    const std::string& destination)
{
    const auto previous = identityAt(parentFd, destination);
    if (!previous) {
        // RENAME_NOREPLACE: an item that appeared meanwhile is not overwritten.
        if (::renameat2(parentFd, staging.name().c_str(), parentFd, destination.c_str(), RENAME_NOREPLACE) == 0)
            return std::nullopt;
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return std::unexpected(lastError());
        if (::renameat(parentFd, staging.name().c_str(), parentFd, destination.c_str()) != 0)
            return std::unexpected(lastError());
        return std::nullopt;
    }
    if (::renameat2(parentFd, staging.name().c_str(), parentFd, destination.c_str(), RENAME_EXCHANGE) == 0)
        return previous; // the old item now sits at the staging name and goes with it
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return std::unexpected(lastError());
    // No atomic exchange on this file system: set the old item aside first.
    const HeldStagingName held(newStagingName(previousRole));
    const std::string& aside = held.name();
    if (::renameat(parentFd, destination.c_str(), parentFd, aside.c_str()) != 0)
        return std::unexpected(lastError());
    if (::renameat(parentFd, staging.name().c_str(), parentFd, destination.c_str()) != 0) {
        const std::error_code error = lastError();
        ::renameat(parentFd, aside.c_str(), parentFd, destination.c_str());
        return std::unexpected(error);
    }
    if (identityAt(parentFd, aside) == previous)
        DeckCopier::remove(parentFd, aside.c_str());
    return std::nullopt;
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
        const auto deck = openDeck(sourcePath, project.name);
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
    sweepLeftovers(parent.get());
    struct statvfs disk {};
    if (::fstatvfs(parent.get(), &disk) != 0)
        return std::unexpected(lastError());
    // The package folder, Documents, one folder per deck and the manifest besides the decks.
    if (auto problem = BackupLimits::spaceProblem(disk, BackupLimits::addSizes(decks.bytes, manifest.size()),
                                                  BackupLimits::addSizes(decks.items, 2 * qint64(record.projects.size()) + 3),
                                                  QStringLiteral("所选位置")))
        return std::unexpected(*problem);

    // Staged beside the destination, so putting it in place is a rename; built
    // only through the descriptor of the folder made for it, from the first
    // copy private to this user.
    StagingFolder staging(parent.get(), newStagingName({}));
    if (const std::error_code made = staging.create())
        return std::unexpected(made);

    DeckCopier copier(limits);
    copier.allowBytes(decks.bytes);
    std::optional<FileDescriptor> documents;
    for (const auto& project : record.projects) {
        if (!project.deckAssetPath)
            continue;
        if (!documents) {
            auto made = makeFolder(staging.fd(), QFile::encodeName(documentsDirectoryName).constData());
            if (!made)
                return std::unexpected(made.error());
            documents = std::move(*made);
        }
        auto projectFolder = makeFolder(documents->get(), QFile::encodeName(platform::uuidString(project.id)).constData());
        if (!projectFolder)
            return std::unexpected(projectFolder.error());
        const auto source = openDeck(project.deck->filePath, project.name);
        if (!source)
            return std::unexpected(source.error());
        const QByteArray name = QFile::encodeName(project.deckAssetPath->section(u'/', -1));
        if (auto copied = copier.copy(source->get(), projectFolder->get(), name.constData()); !copied)
            return std::unexpected(copied.error());
    }

    if (auto written = platform::writeFileAtomically(staging.fd(), QFile::encodeName(manifestName), manifest, false); !written)
        return std::unexpected(std::error_code(written.error(), std::generic_category()));
    if (::fsync(staging.fd()) != 0)
        return std::unexpected(lastError());

    // Whatever now bears the staging name must be the folder built; what was
    // put in place must be it too, or the export did not happen.
    const QString tampered = QStringLiteral("导出时所选文件夹中的备份被他人改动，未写入备份");
    if (identityAt(parent.get(), staging.name()) != staging.identity())
        return std::unexpected(ProjectBackupError::refused(tampered));
    const auto replaced = putInPlace(parent.get(), staging, targetName);
    if (!replaced)
        return std::unexpected(replaced.error());
    if (identityAt(parent.get(), targetName) != staging.identity()) {
        staging.placed(std::nullopt);
        DeckCopier::removeContents(staging.fd());
        return std::unexpected(ProjectBackupError::refused(tampered));
    }
    staging.placed(*replaced);
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
    // Parsing keeps about 16 bytes for each key and value, far more than a
    // short number such as "0," takes in the text. The manifests export
    // writes, one member to a line, take more than this for each; a denser
    // one would take many times its size in memory to read.
    if (jsonItemCount(*manifest) > manifest->size() / 8 + 64)
        return std::unexpected(ProjectBackupError::invalidPackage());
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
    if (auto kept = reader->keepCopies(); !kept)
        return std::unexpected(kept.error());
    return record;
}

} // namespace quorvia
