#include "model/ProjectDocumentStore.h"

#include "model/DeckCopier.h"
#include "model/DeckTree.h"
#include "model/FilePaths.h"
#include "model/ImportRecord.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/TreeRemoval.h"
#include "platform/files/WriteGate.h"
#include "platform/core/Uuid.h"
#include "platform/settings/DefaultsStore.h"

#include <QFile>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia {

namespace {

std::error_code gate(const fs::path& folder) { return platform::askWriteGate(ProjectDocumentStore::fromPath(folder)); }

// An import's record is named after its first copy's folder.
QString recordName(const fs::path& firstCopy)
{
    return ProjectDocumentStore::admittingPrefix + ProjectDocumentStore::fromPath(firstCopy.filename());
}

} // namespace

fs::path ProjectDocumentStore::toPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

QString ProjectDocumentStore::fromPath(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.native())); }

std::expected<QString, ProjectBackupFailure> ProjectDocumentStore::defaultRoot()
{
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataFolder.isEmpty())
        return std::unexpected(ProjectBackupError::invalidPresentationPath());
    const fs::path root = toPath(dataFolder) / toPath(applicationFolderName) / toPath(documentsFolderName);
    std::error_code error = gate(root);
    if (!error)
        fs::create_directories(root, error);
    if (error)
        return std::unexpected(error);
    return fromPath(root);
}

std::expected<QString, ProjectBackupFailure> ProjectDocumentStore::copyDocument(const QString& sourcePath,
                                                                                const std::optional<QString>& root,
                                                                                const QString& projectName)
{
    // The copy is named after the source; a root folder or "." has no name to keep.
    const QString name = paths::lastPathComponent(sourcePath);
    const QString named = projectName.isEmpty() ? name : projectName;
    const fs::path source = toPath(sourcePath);
    std::error_code error;
    // What is gone is the file: the project is still there to be named.
    if (sourcePath.isEmpty() || !fs::exists(source, error))
        return std::unexpected(ProjectBackupError::missingPresentation(name.isEmpty() ? named : name));
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/'))
        return std::unexpected(ProjectBackupError::invalidPresentationPath());

    const auto deck = DeckTree::openSpeakersDeck(sourcePath, named);
    if (!deck)
        return std::unexpected(deck.error());
    const BackupLimits limits = BackupLimits::standard();
    const auto size = DeckTree::measure(deck->get(), named, limits, DeckTree::Source::speakersDeck);
    if (!size)
        return std::unexpected(size.error());

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
    const auto folder = makeIncomingFolder(rootPath);
    if (!folder)
        return std::unexpected(folder.error());
    std::expected<void, ProjectBackupFailure> copied;
    if (const platform::FileDescriptor target = platform::openFolder(folder->c_str()); target.isOpen()) {
        DeckCopier copier(limits);
        copier.allowBytes(size->bytes);
        copied = copier.copy(deck->get(), target.get(), QFile::encodeName(name).constData());
    } else {
        copied = std::unexpected(platform::lastError());
    }
    const auto admitted = copied ? admit(*folder, rootPath) : std::expected<fs::path, std::error_code>();
    if (!copied || !admitted)
        platform::removeTree(*folder);
    leaveIncomingFolder(rootPath);
    if (!copied)
        return std::unexpected(copied.error());
    if (!admitted)
        return std::unexpected(admitted.error());
    return fromPath(*admitted / toPath(name));
}

std::expected<fs::path, std::error_code> ProjectDocumentStore::makeIncomingFolder(const fs::path& root)
{
    const fs::path incoming = root / toPath(incomingFolderName);
    std::error_code error = gate(root);
    if (!error)
        fs::create_directories(root, error);
    if (error)
        return std::unexpected(error);
    const fs::path folder = incoming / toPath(platform::uuidString(platform::newUuid()));
    // Another copy that just finished may take the empty incoming folder away in between.
    for (int attempt = 0;; ++attempt) {
        if (::mkdir(incoming.c_str(), 0700) != 0 && errno != EEXIST)
            return std::unexpected(platform::lastError());
        if (::mkdir(folder.c_str(), 0700) == 0)
            return folder;
        if (errno != ENOENT || attempt == 10)
            return std::unexpected(platform::lastError());
    }
}

void ProjectDocumentStore::leaveIncomingFolder(const fs::path& root)
{
    // Only when empty: another copy may be under way in it.
    if (!gate(root))
        ::rmdir((root / toPath(incomingFolderName)).c_str());
}

std::expected<fs::path, std::error_code> ProjectDocumentStore::admit(const fs::path& incoming, const fs::path& root)
{
    const fs::path admitted = root / incoming.filename();
    if (const std::error_code refused = gate(root))
        return std::unexpected(refused);
    if (onAdmit)
        onAdmit();
    if (::rename(incoming.c_str(), admitted.c_str()) != 0)
        return std::unexpected(platform::lastError());
    // The copy's name in the store is on the drive before a project may name it.
    const platform::FileDescriptor store = platform::openFolder(root.c_str());
    if (!store.isOpen() || !platform::syncFolder(store.get())) {
        const std::error_code error = platform::lastError();
        platform::removeTree(admitted);
        return std::unexpected(error);
    }
    return admitted;
}

std::expected<std::vector<fs::path>, std::error_code> ProjectDocumentStore::admitTogether(const std::vector<fs::path>& incoming,
                                                                                        const fs::path& root,
                                                                                        const platform::DefaultsStore* settings)
{
    if (incoming.empty())
        return {};
    const fs::path folder = root / toPath(incomingFolderName);
    // One record for each import, named after its first copy.
    const QString record = recordName(incoming.front());
    ImportRecord names{settings ? settings->location() : QString(), settings ? settings->identity() : QString(), {}};
    for (const fs::path& copy : incoming)
        names.copyFolders.append(QByteArray::fromStdString(copy.filename().native()));
    if (const std::error_code refused = gate(root))
        return std::unexpected(refused);
    // A record whose name may not be on the drive fails the import as any failed write does.
    if (auto written = platform::writeFileAtomically(fromPath(folder), record, names.encoded(), true); !written) {
        ::unlink((folder / toPath(record)).c_str());
        return std::unexpected(written.error());
    }
    std::vector<fs::path> admitted;
    std::error_code error;
    for (const fs::path& copy : incoming) {
        auto moved = admit(copy, root);
        if (!moved) {
            error = moved.error();
            break;
        }
        admitted.push_back(*moved);
    }
    if (!error)
        return admitted;
    for (const fs::path& copy : admitted)
        platform::removeTree(copy);
    ::unlink((folder / toPath(record)).c_str());
    return std::unexpected(error);
}

void ProjectDocumentStore::endImport(const QStringList& copies)
{
    // Only the first copy names a record; any copy may come first.
    for (const QString& copy : copies) {
        const fs::path folder = toPath(copy).parent_path(), root = folder.parent_path();
        if (gate(root))
            return;
        if (::unlink((root / toPath(incomingFolderName) / toPath(recordName(folder))).c_str()) == 0)
            return leaveIncomingFolder(root);
    }
}

std::vector<fs::path> ProjectDocumentStore::discardInterruptedCopies(
    const std::optional<QString>& root, const std::function<std::optional<QStringList>(const QString&, const QString&)>& storedDocuments)
{
    fs::path rootPath;
    if (root) {
        rootPath = toPath(*root);
    } else {
        const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (dataFolder.isEmpty())
            return {};
        rootPath = toPath(dataFolder) / toPath(applicationFolderName) / toPath(documentsFolderName);
    }
    if (gate(rootPath))
        return {};
    // Renamed at once, so a copy begun from now on never meets what is being removed.
    const fs::path incoming = rootPath / toPath(incomingFolderName);
    const fs::path discarded = rootPath / toPath(discardedPrefix + platform::uuidString(platform::newUuid()));
    ::rename(incoming.c_str(), discarded.c_str());
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(rootPath, error), end; !error && it != end; it.increment(error)) {
        const QString name = fromPath(it->path().filename());
        if (name.startsWith(discardedPrefix) && it->symlink_status(error).type() == fs::file_type::directory)
            found.push_back(it->path());
    }
    // An import cut short between its admissions, or before its projects were
    // stored: its copies go with the rest, but for those the settings it
    // stored into name. While those cannot tell (other settings, or ones not
    // read whole), every copy stays and the record waits for the next start.
    // A stored document names its copy by its own folder's name, however the
    // root was spelled when it was stored: gathered once for each settings, so
    // a record costs what it names and what they store, not their product.
    std::map<std::pair<QString, QString>, std::optional<QSet<QByteArray>>> stored;
    const std::optional<QSet<QByteArray>> unjudged;
    const auto named = [&](const QString& settings, const QString& identity) -> const std::optional<QSet<QByteArray>>& {
        auto it = stored.find({settings, identity});
        if (it != stored.end())
            return it->second;
        const std::optional<QStringList> documents = storedDocuments ? storedDocuments(settings, identity) : QStringList();
        std::optional<QSet<QByteArray>> folders;
        if (documents) {
            folders.emplace().reserve(documents->size());
            for (const QString& document : *documents)
                folders->insert(QByteArray::fromStdString(toPath(document).parent_path().filename().native()));
        }
        return stored.emplace(std::pair(settings, identity), std::move(folders)).first->second;
    };
    for (const fs::path& folder : found) {
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            if (!fromPath(it->path().filename()).startsWith(admittingPrefix))
                continue;
            // No import writes more: a larger record is no import's, and is never read whole.
            const auto read = platform::readBoundedFile(fromPath(it->path()), ImportRecord::byteBound(), O_NOFOLLOW);
            if (!read.ok() && read.outcome != platform::BoundedFileRead::Outcome::tooLarge)
                continue;
            const ImportRecord import = ImportRecord::decoded(read.bytes);
            const std::optional<QSet<QByteArray>>& folders =
                read.ok() && import.settingsLocation ? named(*import.settingsLocation, import.settingsIdentity) : unjudged;
            if (!folders) {
                if (::mkdir(incoming.c_str(), 0700) == 0 || errno == EEXIST)
                    ::rename(it->path().c_str(), (incoming / it->path().filename()).c_str());
                continue;
            }
            for (const QByteArray& name : import.copyFolders)
                if (!folders->contains(name))
                    ::rename((rootPath / name.toStdString()).c_str(), (folder / name.toStdString()).c_str());
        }
        error.clear();
    }
    return found;
}

} // namespace quorvia
