#include "model/DeckTree.h"

#include "platform/files/FileDescriptor.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia::DeckTree {

using platform::lastError;

namespace {

// The system's own limit on links followed in one path.
constexpr int maximumLinkHops = 40;

// One walk over a folder deck, from the descriptor of its top.
class Measure {
public:
    Measure(int rootFd, const QString& projectName, const BackupLimits& limits, Source source)
        : rootFd_(rootFd), projectName_(projectName), limits_(limits), source_(source)
    {
    }

    // `inside` is where the folder open at `fd` lies within the deck.
    std::expected<void, ProjectBackupFailure> folder(int fd, const fs::path& inside, int depth)
    {
        if (depth > limits_.deckDepth)
            return std::unexpected(ProjectBackupError::refused(limits_.deckDepthText()));
        if (auto counted = count(); !counted)
            return counted;
        const auto names = platform::entryNames(fd);
        if (!names)
            return std::unexpected(names.error());
        for (const std::string& name : *names) {
            struct stat status {};
            if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
                return std::unexpected(lastError());
            if (S_ISDIR(status.st_mode)) {
                const platform::FileDescriptor child = platform::openFolderAt(fd, name.c_str());
                if (!child.isOpen())
                    return std::unexpected(errno == ELOOP || errno == ENOTDIR
                                               ? ProjectBackupFailure(ProjectBackupError::invalidPresentationPath())
                                               : ProjectBackupFailure(lastError()));
                if (auto measured = folder(child.get(), inside / name, depth + 1); !measured)
                    return measured;
                continue;
            }
            if (auto counted = count(); !counted)
                return counted;
            if (S_ISLNK(status.st_mode)) {
                if (!linkStaysInside(rootFd_, inside / name))
                    return std::unexpected(unusable(QStringLiteral("指向它以外的链接")));
            } else if (S_ISREG(status.st_mode)) {
                size_.bytes = BackupLimits::addSizes(size_.bytes, status.st_size);
            } else {
                return std::unexpected(unusable(QStringLiteral("既不是文件也不是文件夹的项目")));
            }
        }
        return {};
    }

    const Size& size() const { return size_; }

private:
    ProjectBackupError unusable(const QString& what) const
    {
        if (source_ == Source::package)
            return ProjectBackupError::invalidPresentationPath();
        return ProjectBackupError::refused(QStringLiteral("项目“") + projectName_ + QStringLiteral("”的演示文稿中有") + what);
    }

    std::expected<void, ProjectBackupFailure> count()
    {
        if (++size_.items > limits_.deckItems)
            return std::unexpected(ProjectBackupError::refused(limits_.deckItemsText()));
        return {};
    }

    int rootFd_;
    QString projectName_;
    const BackupLimits& limits_;
    Source source_;
    Size size_;
};

} // namespace

bool linkStaysInside(int rootFd, const fs::path& link)
{
    // `at` holds real folders only, from the deck down; a name that is not
    // there (yet) is judged by its words alone.
    std::vector<std::string> at;
    for (const fs::path& part : link.parent_path())
        at.push_back(part.native());
    std::deque<std::string> rest{link.filename().native()};
    int hops = 0;
    while (!rest.empty()) {
        const std::string name = std::move(rest.front());
        rest.pop_front();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (at.empty())
                return false;
            at.pop_back();
            continue;
        }
        fs::path here;
        for (const std::string& part : at)
            here /= part;
        here /= name;
        struct stat status {};
        if (::fstatat(rootFd, here.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode)) {
            if (++hops > maximumLinkHops)
                return false;
            std::string target(PATH_MAX, '\0');
            const ssize_t length = ::readlinkat(rootFd, here.c_str(), target.data(), target.size());
            if (length <= 0 || static_cast<size_t>(length) >= target.size())
                return false;
            target.resize(static_cast<size_t>(length));
            const fs::path targetPath(target);
            if (targetPath.is_absolute())
                return false;
            // Relative to the folder holding the link, which is `at`.
            std::vector<std::string> parts;
            for (const fs::path& part : targetPath)
                parts.push_back(part.native());
            rest.insert(rest.begin(), parts.begin(), parts.end());
            continue;
        }
        at.push_back(name);
    }
    return true;
}

ProjectBackupError neitherFileNorFolder(const QString& projectName, Source source)
{
    if (source == Source::package)
        return ProjectBackupError::invalidPresentationPath();
    return ProjectBackupError::refused(QStringLiteral("项目“") + projectName + QStringLiteral("”的演示文稿既不是文件也不是文件夹"));
}

std::expected<platform::FileDescriptor, ProjectBackupFailure> openSpeakersDeck(const QString& path, const QString& projectName)
{
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::unexpected(ProjectBackupError::missingPresentation(projectName));
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return std::unexpected(neitherFileNorFolder(projectName, Source::speakersDeck));
    platform::FileDescriptor deck = platform::openForReading(path);
    if (!deck.isOpen())
        return std::unexpected(lastError());
    return deck;
}

std::expected<Size, ProjectBackupFailure> measure(int deckFd, const QString& projectName, const BackupLimits& limits,
                                                  Source source)
{
    struct stat status {};
    if (::fstat(deckFd, &status) != 0)
        return std::unexpected(lastError());
    if (S_ISREG(status.st_mode))
        return Size{status.st_size, 1};
    if (!S_ISDIR(status.st_mode))
        return std::unexpected(neitherFileNorFolder(projectName, source));
    Measure walk(deckFd, projectName, limits, source);
    if (auto measured = walk.folder(deckFd, {}, 0); !measured)
        return std::unexpected(measured.error());
    return walk.size();
}

} // namespace quorvia::DeckTree
