#include "model/DeckCopier.h"

#include "model/DeckTree.h"
#include "platform/files/AtomicFileWrite.h"
#include "platform/files/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia {

using platform::FileDescriptor;
using platform::lastError;

namespace {

constexpr size_t chunkSize = 1 << 20;
// What a hole is made of: a file system block.
constexpr off_t holeBlock = 4096;

bool isZero(const char* bytes, size_t count) { return count == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, count - 1) == 0); }

// Writes `count` bytes as they lie at `at` in the file; with `holes`, blocks
// of zeros are left out, so they stay holes in a new file.
bool writeAt(int fd, const char* bytes, size_t count, off_t at, bool holes)
{
    // Where the block of the file holding byte `i` of `bytes` ends, within `bytes`.
    const auto blockEnd = [&](size_t i) { return std::min(count, size_t((at + off_t(i)) / holeBlock + 1) * holeBlock - size_t(at)); };
    size_t from = 0;
    while (from < count) {
        size_t to = from;
        // A run of data up to the first block of zeros, whole blocks as the file counts them.
        while (to < count && !(holes && isZero(bytes + to, blockEnd(to) - to)))
            to = blockEnd(to);
        if (to > from && (::lseek(fd, at + off_t(from), SEEK_SET) < 0 || !platform::writeAll(fd, QByteArrayView(bytes + from, qsizetype(to - from)))))
            return false;
        // Past the zeros.
        for (from = to; from < count && isZero(bytes + from, blockEnd(from) - from);)
            from = blockEnd(from);
    }
    return true;
}

} // namespace

std::expected<void, ProjectBackupFailure> DeckCopier::charge(qint64 items)
{
    if (items > itemsLeft_)
        return std::unexpected(ProjectBackupError::refused(limits_.deckItemsText()));
    itemsLeft_ -= items;
    return {};
}

std::expected<void, ProjectBackupFailure> DeckCopier::copy(int sourceFd, int folderFd, const char* name)
{
    struct stat status {};
    if (::fstat(sourceFd, &status) != 0)
        return std::unexpected(lastError());
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return std::unexpected(ProjectBackupError::invalidPresentationPath());
    links_.clear();
    const auto copied = S_ISREG(status.st_mode) ? copyFile(sourceFd, folderFd, name) : copyFolder(sourceFd, folderFd, name, {}, 0);
    if (!copied)
        return copied;
    if (!platform::syncFolder(folderFd))
        return std::unexpected(lastError());
    if (links_.empty())
        return {};
    // Judged in the copy, once every item a link could pass through is there:
    // a chain of links may lead where no single one of them seems to.
    const FileDescriptor deck = platform::openFolderAt(folderFd, name);
    if (!deck.isOpen())
        return std::unexpected(lastError());
    for (const fs::path& link : links_)
        if (!DeckTree::linkStaysInside(deck.get(), link))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
    return {};
}

std::expected<void, ProjectBackupFailure> DeckCopier::copyFile(int sourceFd, int folderFd, const char* name)
{
    struct stat status {};
    if (::fstat(sourceFd, &status) != 0)
        return std::unexpected(lastError());
    if (auto fits = charge(1); !fits)
        return fits;
    if (status.st_size > bytesLeft_)
        return std::unexpected(ProjectBackupError::refused(QStringLiteral("演示文稿在复制时变大了，请稍后再试")));
    bytesLeft_ -= status.st_size;
    ::fcntl(sourceFd, F_SETFL, ::fcntl(sourceFd, F_GETFL) & ~O_NONBLOCK);
    const FileDescriptor target = platform::createFileAt(folderFd, name);
    if (target.get() < 0)
        return std::unexpected(lastError());
    // The bytes the file had when it was opened, no more: one that grows
    // meanwhile cannot outrun the room measured for it. Only its data is
    // copied; its holes stay holes. A drive that cannot say where they are
    // shows it all as data, but a file taking less room than its size has
    // some: its blocks of zeros are left out.
    const off_t size = status.st_size;
    const bool holes = status.st_blocks * 512 < size;
    std::vector<char> buffer(chunkSize);
    off_t end = size;
    off_t at = 0;
    while (at < end) {
        off_t data = ::lseek(sourceFd, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break; // a hole to the end
        if (data < 0)
            data = at; // no holes known here: all of it is data
        if (data >= size)
            break;
        off_t hole = ::lseek(sourceFd, data, SEEK_HOLE);
        hole = hole < 0 ? size : std::min(hole, size);
        for (at = data; at < hole;) {
            const ssize_t n = ::pread(sourceFd, buffer.data(), static_cast<size_t>(std::min<off_t>(hole - at, chunkSize)), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return std::unexpected(lastError());
            if (n == 0) {
                end = at; // shrunk meanwhile: the copy ends here
                break;
            }
            if (!writeAt(target.get(), buffer.data(), size_t(n), at, holes))
                return std::unexpected(lastError());
            at += n;
        }
    }
    if (::ftruncate(target.get(), end) != 0)
        return std::unexpected(lastError());
    if (!platform::syncFile(target.get()))
        return std::unexpected(lastError());
    return {};
}

std::expected<void, ProjectBackupFailure> DeckCopier::copyFolder(int sourceFd, int folderFd, const char* name,
                                                                 const fs::path& inside, int depth)
{
    if (depth > limits_.deckDepth)
        return std::unexpected(ProjectBackupError::refused(limits_.deckDepthText()));
    if (auto fits = charge(1); !fits)
        return fits;
    if (::mkdirat(folderFd, name, 0700) != 0)
        return std::unexpected(lastError());
    const FileDescriptor target = platform::openFolderAt(folderFd, name);
    if (!target.isOpen())
        return std::unexpected(lastError());

    const auto names = platform::entryNames(sourceFd);
    if (!names)
        return std::unexpected(names.error());
    for (const std::string& child : *names) {
        struct stat status {};
        if (::fstatat(sourceFd, child.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return std::unexpected(lastError());
        if (S_ISLNK(status.st_mode)) {
            if (auto fits = charge(1); !fits)
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
        // Judged by type before opening: a device or a pipe is never opened.
        if (!isFolder && !S_ISREG(status.st_mode))
            return std::unexpected(ProjectBackupError::invalidPresentationPath());
        // Opened without following, then judged by what was opened: an item
        // swapped after the look above is refused, never followed.
        const FileDescriptor opened = isFolder ? platform::openFolderAt(sourceFd, child.c_str())
                                               : platform::openForReadingAt(sourceFd, child.c_str());
        if (!opened.isOpen())
            return std::unexpected(errno == ELOOP || errno == ENOTDIR || errno == ENXIO
                                       ? ProjectBackupFailure(ProjectBackupError::invalidPresentationPath())
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
    // The names of what it holds reach the drive with it.
    if (!platform::syncFolder(target.get()))
        return std::unexpected(lastError());
    return {};
}

} // namespace quorvia
