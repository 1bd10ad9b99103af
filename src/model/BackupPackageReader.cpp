#include "model/BackupPackageReader.h"

#include "model/DeckTree.h"
#include "model/ProjectDocumentStore.h"
#include "platform/Uuid.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia {

namespace {

constexpr size_t chunkSize = 1 << 20;

// Closes a descriptor however a step ends.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::error_code lastError() { return {errno, std::generic_category()}; }

bool writeAll(int fd, const char* at, size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        at += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::optional<BackupPackageReader> BackupPackageReader::open(const QString& packagePath, const BackupLimits& limits)
{
    const QByteArray path = QFile::encodeName(packagePath);
    // The package itself must not be a link: one placed in a shared folder
    // could point at a folder only the importing user can read.
    struct stat named {};
    if (path.isEmpty() || ::lstat(path.constData(), &named) != 0 || !S_ISDIR(named.st_mode))
        return std::nullopt;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        ::close(fd);
        return std::nullopt;
    }
    return BackupPackageReader(fd, limits);
}

BackupPackageReader::BackupPackageReader(BackupPackageReader&& other) noexcept
    : rootFd_(std::exchange(other.rootFd_, -1)), limits_(other.limits_), bytesLeft_(other.bytesLeft_),
      itemsLeft_(other.itemsLeft_), links_(std::move(other.links_)), copies_(std::move(other.copies_)),
      createdStoreRoot_(std::move(other.createdStoreRoot_))
{
    other.copies_.clear();
    other.createdStoreRoot_.reset();
}

BackupPackageReader::~BackupPackageReader()
{
    // An import that did not finish leaves none of its copies behind.
    std::error_code ignored;
    for (const Copy& copy : copies_) {
        fs::remove_all(copy.incoming, ignored);
        ProjectDocumentStore::leaveIncomingFolder(copy.storeRoot);
    }
    if (!copies_.empty() && createdStoreRoot_)
        ::rmdir(createdStoreRoot_->c_str());
    if (rootFd_ >= 0)
        ::close(rootFd_);
}

std::expected<int, ProjectBackupFailure> BackupPackageReader::openBeneath(const QString& relativePath, int flags,
                                                                          const QString& projectName) const
{
    // One name at a time from the package's own descriptor, refusing every
    // link: nothing reached this way lies outside the package.
    const QStringList segments = relativePath.split(u'/');
    Descriptor folder;
    int at = rootFd_;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const bool last = i + 1 == segments.size();
        const QByteArray name = QFile::encodeName(segments[i]);
        // Folders on the way are judged after opening too: asked for a folder,
        // the kernel would not say whether a link or a file stood there.
        const int fd = ::openat(at, name.constData(),
                                last ? flags | O_NOFOLLOW | O_CLOEXEC : O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return std::unexpected(ProjectBackupError::missingPresentation(projectName));
            if (errno == ELOOP)
                return std::unexpected(ProjectBackupError::invalidPresentationPath());
            return std::unexpected(lastError());
        }
        if (last)
            return fd;
        folder = Descriptor(fd);
        struct stat status {};
        if (::fstat(fd, &status) != 0)
            return std::unexpected(lastError());
        if (!S_ISDIR(status.st_mode))
            return std::unexpected(ProjectBackupError::missingPresentation(projectName));
        at = fd;
    }
    return std::unexpected(ProjectBackupError::invalidPresentationPath());
}

std::optional<QByteArray> BackupPackageReader::readFile(const QString& relativePath, qint64 limit, bool* tooLarge) const
{
    bool ignored = false;
    bool& over = tooLarge ? *tooLarge : ignored;
    over = false;
    const auto opened = openBeneath(relativePath, O_RDONLY | O_NONBLOCK | O_NOCTTY, {});
    if (!opened)
        return std::nullopt;
    const Descriptor file(*opened);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    if (status.st_size > limit) {
        over = true;
        return std::nullopt;
    }
    // The file may grow after it was measured: never more than the limit is read.
    QByteArray bytes(std::min<qint64>(status.st_size, limit) + 1, Qt::Uninitialized);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit) {
                over = true;
                return std::nullopt;
            }
            bytes.resize(std::min<qint64>(filled * 2, limit + 1));
        }
        const ssize_t n = ::read(file.get(), bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > limit) {
        over = true;
        return std::nullopt;
    }
    bytes.truncate(filled);
    return bytes;
}

std::expected<void, ProjectBackupFailure> BackupPackageReader::charge(qint64 bytes, qint64 items)
{
    if (items > itemsLeft_)
        return std::unexpected(ProjectBackupError::refused(limits_.deckItemsText()));
    if (bytes > bytesLeft_)
        return std::unexpected(ProjectBackupError::refused(limits_.deckBytesText()));
    bytesLeft_ -= bytes;
    itemsLeft_ -= items;
    return {};
}

std::expected<QString, ProjectBackupFailure> BackupPackageReader::copyDeck(const QString& relativePath, const QString& projectName,
                                                                           const fs::path& storeRoot)
{
    const auto opened = openBeneath(relativePath, O_RDONLY | O_NONBLOCK | O_NOCTTY, projectName);
    if (!opened)
        return std::unexpected(opened.error());
    const Descriptor source(*opened);
    struct stat status {};
    if (::fstat(source.get(), &status) != 0)
        return std::unexpected(lastError());
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return std::unexpected(ProjectBackupError::invalidPresentationPath());
    if (S_ISREG(status.st_mode) && status.st_size > bytesLeft_)
        return std::unexpected(ProjectBackupError::refused(limits_.deckBytesText()));

    std::error_code error;
    if (!fs::exists(storeRoot, error)) {
        fs::create_directories(storeRoot, error);
        if (error)
            return std::unexpected(error);
        createdStoreRoot_ = storeRoot;
    }
    // Every copy in a folder of its own that only this user can enter, made
    // where the next start removes it unless the import keeps it.
    const auto incoming = ProjectDocumentStore::makeIncomingFolder(storeRoot);
    if (!incoming)
        return std::unexpected(incoming.error());
    const fs::path folder = *incoming;
    copies_.push_back({folder, storeRoot});
    const Descriptor destination(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (destination.get() < 0)
        return std::unexpected(lastError());

    const QString name = relativePath.section(u'/', -1);
    const QByteArray encodedName = QFile::encodeName(name);
    links_.clear();
    const auto copied = S_ISREG(status.st_mode) ? copyFile(source.get(), destination.get(), encodedName.constData())
                                                : copyFolder(source.get(), destination.get(), encodedName.constData(), {}, 0);
    if (!copied)
        return std::unexpected(copied.error());
    if (!links_.empty()) {
        // Judged in the copy, once every item a link could pass through is there:
        // a chain of links may lead where no single one of them seems to.
        const Descriptor deck(::openat(destination.get(), encodedName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (deck.get() < 0)
            return std::unexpected(lastError());
        for (const fs::path& link : links_)
            if (!DeckTree::linkStaysInside(deck.get(), link))
                return std::unexpected(ProjectBackupError::invalidPresentationPath());
    }
    return ProjectDocumentStore::fromPath(storeRoot / folder.filename() / ProjectDocumentStore::toPath(name));
}

std::expected<void, ProjectBackupFailure> BackupPackageReader::keepCopies()
{
    std::vector<fs::path> admitted;
    for (const Copy& copy : copies_) {
        auto moved = ProjectDocumentStore::admit(copy.incoming, copy.storeRoot);
        if (!moved) {
            // All or none: the copies already in the store go with the rest.
            std::error_code ignored;
            for (const fs::path& folder : admitted)
                fs::remove_all(folder, ignored);
            return std::unexpected(moved.error());
        }
        admitted.push_back(*moved);
    }
    for (const Copy& copy : copies_)
        ProjectDocumentStore::leaveIncomingFolder(copy.storeRoot);
    copies_.clear();
    return {};
}

std::expected<void, ProjectBackupFailure> BackupPackageReader::copyFile(int sourceFd, int folderFd, const char* name)
{
    struct stat status {};
    if (::fstat(sourceFd, &status) != 0)
        return std::unexpected(lastError());
    // A sparse file can claim far more than it holds: its size is what a copy would take.
    if (auto fits = charge(status.st_size, 1); !fits)
        return fits;
    ::fcntl(sourceFd, F_SETFL, ::fcntl(sourceFd, F_GETFL) & ~O_NONBLOCK);
    const Descriptor target(::openat(folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (target.get() < 0)
        return std::unexpected(lastError());
    std::vector<char> buffer(chunkSize);
    qint64 copied = 0;
    for (;;) {
        const ssize_t n = ::read(sourceFd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::unexpected(lastError());
        if (n == 0)
            break;
        copied += n;
        // The file may grow while it is read.
        if (copied > status.st_size)
            if (auto fits = charge(std::min<qint64>(n, copied - status.st_size), 0); !fits)
                return fits;
        if (!writeAll(target.get(), buffer.data(), static_cast<size_t>(n)))
            return std::unexpected(lastError());
    }
    return {};
}

std::expected<void, ProjectBackupFailure> BackupPackageReader::copyFolder(int sourceFd, int folderFd, const char* name,
                                                                          const fs::path& inside, int depth)
{
    if (depth > limits_.deckDepth)
        return std::unexpected(ProjectBackupError::refused(limits_.deckDepthText()));
    if (auto fits = charge(0, 1); !fits)
        return fits;
    if (::mkdirat(folderFd, name, 0700) != 0)
        return std::unexpected(lastError());
    const Descriptor target(::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (target.get() < 0)
        return std::unexpected(lastError());

    const int listing = ::dup(sourceFd);
    if (listing < 0)
        return std::unexpected(lastError());
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return std::unexpected(lastError());
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closeEntries(entries, &::closedir);
    ::rewinddir(entries);
    while (const dirent* entry = ::readdir(entries)) {
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        struct stat status {};
        if (::fstatat(sourceFd, child.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return std::unexpected(lastError());
        if (S_ISLNK(status.st_mode)) {
            if (auto fits = charge(0, 1); !fits)
                return fits;
            // A link is kept only when it stays inside the deck wherever the deck lands.
            std::string linkTarget(PATH_MAX, '\0');
            const ssize_t length = ::readlinkat(sourceFd, child.c_str(), linkTarget.data(), linkTarget.size());
            if (length < 0)
                return std::unexpected(lastError());
            if (static_cast<size_t>(length) >= linkTarget.size())
                return std::unexpected(ProjectBackupError::invalidPresentationPath());
            linkTarget.resize(static_cast<size_t>(length));
            if (linkTarget.empty() || fs::path(linkTarget).is_absolute())
                return std::unexpected(ProjectBackupError::invalidPresentationPath());
            if (::symlinkat(linkTarget.c_str(), target.get(), child.c_str()) != 0)
                return std::unexpected(lastError());
            links_.push_back(inside / child);
            continue;
        }
        const bool isFolder = S_ISDIR(status.st_mode);
        if (!isFolder && !S_ISREG(status.st_mode))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        // Opened without following, then judged by what was opened: an item
        // swapped after the look above is refused, never followed.
        const Descriptor opened(::openat(sourceFd, child.c_str(),
                                         (isFolder ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NONBLOCK | O_NOCTTY) | O_NOFOLLOW | O_CLOEXEC));
        if (opened.get() < 0)
            return std::unexpected(errno == ELOOP || errno == ENOTDIR ? ProjectBackupFailure(ProjectBackupError::invalidPresentationPath())
                                                                      : ProjectBackupFailure(lastError()));
        struct stat openedStatus {};
        if (::fstat(opened.get(), &openedStatus) != 0)
            return std::unexpected(lastError());
        if (S_ISDIR(openedStatus.st_mode) != isFolder || (!isFolder && !S_ISREG(openedStatus.st_mode)))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        const auto copied = isFolder ? copyFolder(opened.get(), target.get(), child.c_str(), inside / child, depth + 1)
                                     : copyFile(opened.get(), target.get(), child.c_str());
        if (!copied)
            return copied;
    }
    return {};
}

} // namespace quorvia
