#pragma once

#include "model/BackupLimits.h"
#include "model/ProjectBackupError.h"
#include "platform/files/FileDescriptor.h"

#include <QString>

#include <expected>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace quorvia {

// How a backup sees a deck: a file, or a folder of files, folders and links.
// File work only.
namespace DeckTree {

struct Size {
    qint64 bytes = 0; // of its files
    qint64 items = 0; // files, folders and links, the deck itself included

    Size& operator+=(const Size& other)
    {
        bytes = BackupLimits::addSizes(bytes, other.bytes);
        items = BackupLimits::addSizes(items, other.items);
        return *this;
    }
};

// Whether the link at `link` (relative to the deck folder open at `rootFd`)
// leads to a place inside the deck, following the deck's own links on the way
// as the system would. Nothing outside the deck is ever looked at.
bool linkStaysInside(int rootFd, const std::filesystem::path& link);

// Where a deck lies decides how an item no copy takes is refused: the
// speaker's own deck is named with what is wrong in it, a deck in a package
// has an invalid path, as every unsafe path of a package has.
enum class Source { speakersDeck, package };

// The refusal of a deck that is itself no file and no folder.
ProjectBackupError neitherFileNorFolder(const QString& projectName, Source source);

// The speaker's deck bound at `path`, opened through a link at the top as the
// speaker bound it; judged by type before it is opened.
std::expected<platform::FileDescriptor, ProjectBackupFailure> openSpeakersDeck(const QString& path, const QString& projectName);

// Measures the deck open at `deckFd` as a copy takes it, following none of
// its links; refuses what no copy would take: an item that is no file and no
// folder, a link leading out of the deck, a deck beyond the limits.
// `projectName` names the project in the texts.
std::expected<Size, ProjectBackupFailure> measure(int deckFd, const QString& projectName, const BackupLimits& limits,
                                                  Source source);

} // namespace DeckTree

} // namespace quorvia
