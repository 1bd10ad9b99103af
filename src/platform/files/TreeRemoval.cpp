#include "platform/files/TreeRemoval.h"

#include "platform/files/FileDescriptor.h"

#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform {

namespace {

using BeforeEach = std::function<void()>;

void removeContentsOn(int folderFd, quint64 mount, const BeforeEach& beforeEach);

void removeOn(int folderFd, quint64 mount, const char* name, const BeforeEach& beforeEach = {})
{
    struct stat status {};
    if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        if (beforeEach)
            beforeEach();
        ::unlinkat(folderFd, name, 0);
        return;
    }
    // Judged by what was opened, so nothing mounted after a look is entered.
    const FileDescriptor folder = openFolderAt(folderFd, name);
    if (folder.isOpen()) {
        if (mountIdOf(folder.get()) != mount)
            return;
        removeContentsOn(folder.get(), mount, beforeEach);
    }
    if (beforeEach)
        beforeEach();
    ::unlinkat(folderFd, name, AT_REMOVEDIR);
}

void removeContentsOn(int folderFd, quint64 mount, const BeforeEach& beforeEach)
{
    for (const std::string& name : entryNames(folderFd).value_or(std::vector<std::string>()))
        removeOn(folderFd, mount, name.c_str(), beforeEach);
}

} // namespace

void removeTreeContents(int folderFd, const BeforeEach& beforeEach)
{
    if (const auto mount = mountIdOf(folderFd))
        removeContentsOn(folderFd, *mount, beforeEach);
}

void removeTree(const std::filesystem::path& named)
{
    // A trailing "/" names the folder before it.
    const std::filesystem::path path = named.has_filename() ? named : named.parent_path();
    std::filesystem::path parent = path.parent_path();
    if (parent.empty())
        parent = ".";
    const FileDescriptor folder = openFolder(parent.c_str());
    const auto mount = folder.isOpen() ? mountIdOf(folder.get()) : std::nullopt;
    if (mount && path.has_filename())
        removeOn(folder.get(), *mount, path.filename().c_str());
}

} // namespace quorvia::platform
