#include "model/DeckTree.h"

#include <cerrno>
#include <climits>
#include <deque>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quorvia::DeckTree {

namespace {

// The system's own limit on links followed in one path.
constexpr int maximumLinkHops = 40;

std::error_code lastError() { return {errno, std::generic_category()}; }

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

std::expected<Size, ProjectBackupFailure> measure(const fs::path& path, const QString& projectName, const BackupLimits& limits)
{
    std::error_code error;
    const fs::path root = fs::canonical(path, error);
    if (error)
        return std::unexpected(error == std::errc::no_such_file_or_directory
                                   ? ProjectBackupFailure(ProjectBackupError::missingPresentation(projectName))
                                   : ProjectBackupFailure(error));
    const fs::file_status status = fs::status(root, error);
    if (error)
        return std::unexpected(error);
    Size size{0, 1};
    if (fs::is_regular_file(status)) {
        size.bytes = static_cast<qint64>(fs::file_size(root, error));
        if (error)
            return std::unexpected(error);
        return size;
    }
    const QString unusable = QStringLiteral("项目“") + projectName + QStringLiteral("”的演示文稿中有");
    if (!fs::is_directory(status))
        return std::unexpected(ProjectBackupError::refused(QStringLiteral("项目“") + projectName
                                                           + QStringLiteral("”的演示文稿既不是文件也不是文件夹")));
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return std::unexpected(lastError());
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{rootFd};

    for (fs::recursive_directory_iterator it(root, error), end; it != end; it.increment(error)) {
        if (error)
            return std::unexpected(error);
        ++size.items;
        if (size.items > limits.deckItems)
            return size; // the caller refuses it; no need to look further
        const fs::file_status entry = it->symlink_status(error);
        if (error)
            return std::unexpected(error);
        if (fs::is_symlink(entry)) {
            if (!linkStaysInside(rootFd, it->path().lexically_relative(root)))
                return std::unexpected(ProjectBackupError::refused(unusable + QStringLiteral("指向它以外的链接")));
        } else if (fs::is_directory(entry)) {
            // The deck is at level 0, this folder one below its parent.
            if (it.depth() + 1 > limits.deckDepth)
                return std::unexpected(ProjectBackupError::refused(limits.deckDepthText()));
        } else if (fs::is_regular_file(entry)) {
            size.bytes = BackupLimits::addSizes(size.bytes, static_cast<qint64>(it->file_size(error)));
            if (error)
                return std::unexpected(error);
        } else {
            return std::unexpected(ProjectBackupError::refused(unusable + QStringLiteral("既不是文件也不是文件夹的项目")));
        }
    }
    if (error)
        return std::unexpected(error);
    return size;
}

} // namespace quorvia::DeckTree
