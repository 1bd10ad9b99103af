#pragma once

#include "model/BackupLimits.h"
#include "model/ProjectBackupError.h"

#include <QString>

#include <expected>
#include <filesystem>

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

// Measures the deck at `path` as an import will copy it (a link at the top is
// followed, links inside are not); refuses a deck that no import would take.
// `projectName` names the project in the texts.
std::expected<Size, ProjectBackupFailure> measure(const std::filesystem::path& path, const QString& projectName,
                                                  const BackupLimits& limits);

} // namespace DeckTree

} // namespace quorvia
