#include "model/BackupPackageReader.h"

#include "model/ProjectDocumentStore.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/TreeRemoval.h"
#include "platform/core/Uuid.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia {

using platform::FileDescriptor;
using platform::lastError;

std::optional<BackupPackageReader> BackupPackageReader::open(const QString& packagePath, const BackupLimits& limits)
{
    const QByteArray path = QFile::encodeName(packagePath);
    // The package itself must not be a link: one placed in a shared folder
    // could point at a folder only the importing user can read.
    struct stat named {};
    if (path.isEmpty() || ::lstat(path.constData(), &named) != 0 || !S_ISDIR(named.st_mode))
        return std::nullopt;
    FileDescriptor root = platform::openFolder(path.constData(), O_NOFOLLOW);
    struct stat opened {};
    if (!root.isOpen() || ::fstat(root.get(), &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return std::nullopt;
    return BackupPackageReader(std::move(root), limits);
}

BackupPackageReader::~BackupPackageReader()
{
    // An import that did not finish leaves none of its copies behind.
    for (const Copy& copy : copies_) {
        platform::removeTree(copy.incoming);
        ProjectDocumentStore::leaveIncomingFolder(copy.storeRoot);
    }
    if (!copies_.empty() && createdStoreRoot_)
        ::rmdir(createdStoreRoot_->c_str());
}

std::expected<FileDescriptor, ProjectBackupFailure> BackupPackageReader::openBeneath(const QString& relativePath,
                                                                                     const QString& projectName) const
{
    // One name at a time from the package's own descriptor, refusing every
    // link: nothing reached this way lies outside the package.
    const QStringList segments = relativePath.split(u'/');
    FileDescriptor folder;
    int at = root_.get();
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const bool last = i + 1 == segments.size();
        const QByteArray name = QFile::encodeName(segments[i]);
        // Judged by type before it is opened: opening a device can do
        // something. What was opened is judged again below.
        struct stat named {};
        if (::fstatat(at, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(named.st_mode)
            && !S_ISDIR(named.st_mode))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        // Folders on the way are judged after opening too: asked for a folder,
        // the kernel would not say whether a link or a file stood there.
        FileDescriptor opened = platform::openForReadingAt(at, name.constData());
        if (!opened.isOpen()) {
            if (errno == ENOENT || errno == ENOTDIR)
                return std::unexpected(ProjectBackupError::missingPresentation(projectName));
            if (errno == ELOOP || errno == ENXIO || errno == ENODEV)
                return std::unexpected(ProjectBackupError::invalidPresentationPath());
            return std::unexpected(lastError());
        }
        if (last)
            return opened;
        folder = std::move(opened);
        struct stat status {};
        if (::fstat(folder.get(), &status) != 0)
            return std::unexpected(lastError());
        if (!S_ISDIR(status.st_mode))
            return std::unexpected(ProjectBackupError::missingPresentation(projectName));
        at = folder.get();
    }
    return std::unexpected(ProjectBackupError::invalidPresentationPath());
}

std::optional<QByteArray> BackupPackageReader::readFile(const QString& relativePath, qint64 limit, bool* tooLarge) const
{
    bool ignored = false;
    bool& over = tooLarge ? *tooLarge : ignored;
    over = false;
    const auto file = openBeneath(relativePath, {});
    if (!file)
        return std::nullopt;
    auto read = platform::readBounded(file->get(), limit);
    over = read.outcome == platform::BoundedFileRead::Outcome::tooLarge;
    if (!read.ok())
        return std::nullopt;
    return std::move(read.bytes);
}

std::expected<DeckTree::Size, ProjectBackupFailure> BackupPackageReader::measureDeck(const QString& relativePath,
                                                                                   const QString& projectName) const
{
    const auto source = openBeneath(relativePath, projectName);
    if (!source)
        return std::unexpected(source.error());
    return DeckTree::measure(source->get(), projectName, limits_, DeckTree::Source::package);
}

std::expected<QString, ProjectBackupFailure> BackupPackageReader::copyDeck(const QString& relativePath, const QString& projectName,
                                                                           const fs::path& storeRoot)
{
    const auto opened = openBeneath(relativePath, projectName);
    if (!opened)
        return std::unexpected(opened.error());
    const FileDescriptor& source = *opened;
    struct stat status {};
    if (::fstat(source.get(), &status) != 0)
        return std::unexpected(lastError());
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return std::unexpected(ProjectBackupError::invalidPresentationPath());

    std::error_code error;
    const bool storeWasThere = fs::exists(storeRoot, error);
    // Every copy in a folder of its own that only this user can enter, made
    // where the next start removes it unless the import keeps it; the store's
    // folder too is made there, as the write gate allows.
    const auto incoming = ProjectDocumentStore::makeIncomingFolder(storeRoot);
    if (!incoming)
        return std::unexpected(incoming.error());
    if (!storeWasThere)
        createdStoreRoot_ = storeRoot;
    const fs::path folder = *incoming;
    copies_.push_back({folder, storeRoot});
    const FileDescriptor destination = platform::openFolder(folder.c_str(), O_NOFOLLOW);
    if (!destination.isOpen())
        return std::unexpected(lastError());

    const QString name = relativePath.section(u'/', -1);
    const QByteArray encodedName = QFile::encodeName(name);
    if (auto copied = copier_.copy(source.get(), destination.get(), encodedName.constData()); !copied)
        return std::unexpected(copied.error());
    return ProjectDocumentStore::fromPath(storeRoot / folder.filename() / ProjectDocumentStore::toPath(name));
}

std::expected<void, ProjectBackupFailure> BackupPackageReader::keepCopies(const platform::DefaultsStore* settings)
{
    // One import, one store.
    std::vector<fs::path> incoming;
    for (const Copy& copy : copies_)
        incoming.push_back(copy.incoming);
    if (auto admitted = ProjectDocumentStore::admitTogether(incoming, copies_.empty() ? fs::path() : copies_.front().storeRoot, settings);
        !admitted)
        return std::unexpected(admitted.error());
    for (const Copy& copy : copies_)
        ProjectDocumentStore::leaveIncomingFolder(copy.storeRoot);
    copies_.clear();
    return {};
}

} // namespace quorvia
