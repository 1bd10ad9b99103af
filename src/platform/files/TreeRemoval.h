#pragma once

#include <filesystem>
#include <functional>

namespace quorvia::platform {

// Removing a tree of files and folders, best effort. It never follows a link
// and never enters another mount: a drive mounted inside, or a bind mount of
// this very file system (same device), holds what is not ours to remove.

// Removes everything in the folder open at `folderFd`; `beforeEach` runs
// before each removal, so a test may stop it at any one.
void removeTreeContents(int folderFd, const std::function<void()>& beforeEach = {});
// Removes the item at `path`; the folders on the way to it are taken as named.
void removeTree(const std::filesystem::path& path);

} // namespace quorvia::platform
