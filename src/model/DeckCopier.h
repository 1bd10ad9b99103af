#pragma once

#include "model/BackupLimits.h"
#include "model/DeckTree.h"
#include "model/ProjectBackupError.h"

#include <QtGlobal>

#include <expected>
#include <filesystem>
#include <limits>
#include <vector>

namespace quorvia {

// Copies decks (a file, or a folder of files, folders and links) from open
// descriptors into a folder open at another, one name at a time and never
// following a link, so nothing outside what was opened is reached, and no name
// swapped on the way is written through. What it makes is this user's alone
// from its creation, and on the drive, data and name, before the copy
// returns: a power cut once a deck is said to be copied leaves no file of the
// right size holding zeros. Files keep their holes: a sparse deck stays sparse, even
// from a drive that cannot tell where its holes are. The deck item and depth
// limits hold over every deck one copier copies. File work only.
class DeckCopier {
public:
    explicit DeckCopier(const BackupLimits& limits) : limits_(limits), itemsLeft_(limits.deckItems) {}

    // The bytes all copies together may take: what was measured and found
    // room for. A file that grew since is refused rather than let fill the disk.
    void allowBytes(qint64 bytes) { bytesLeft_ = bytes; }

    // The file or folder open at `sourceFd` becomes `name` in the folder open
    // at `folderFd`. A link inside is kept only when it stays inside the copy.
    std::expected<void, ProjectBackupFailure> copy(int sourceFd, int folderFd, const char* name);

private:
    std::expected<void, ProjectBackupFailure> copyFile(int sourceFd, int folderFd, const char* name);
    // `inside` is where the folder lies within the deck; its links are noted
    // there, to be judged once the whole deck is copied.
    std::expected<void, ProjectBackupFailure> copyFolder(int sourceFd, int folderFd, const char* name,
                                                         const std::filesystem::path& inside, int depth);
    std::expected<void, ProjectBackupFailure> charge(qint64 items);

    BackupLimits limits_;
    qint64 itemsLeft_ = 0;
    qint64 bytesLeft_ = std::numeric_limits<qint64>::max();
    std::vector<std::filesystem::path> links_;
};

} // namespace quorvia
