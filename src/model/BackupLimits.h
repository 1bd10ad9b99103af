#pragma once

#include "model/ProjectBackupError.h"

#include <QString>

#include <optional>

struct statvfs;

namespace quorvia {

// What one backup package may hold. Export and import keep to the same
// figures, so whatever export writes, import reads back, and both admit every
// project the application can hold: a script at the script limits (whose
// manifest, with every character escaped, stays under 200 MB) with its deck.
// The decks' bytes have no figure of their own: the disk they are copied to
// says how many fit.
struct BackupLimits {
    qint64 manifestBytes = qint64(256) << 20;
    // Files, folders and links of all decks together.
    qint64 deckItems = 100000;
    // Folders within folders of one folder deck.
    int deckDepth = 64;

    static BackupLimits standard() { return {}; }

    // Each limit in words, as in "备份清单超过 256 MB 的上限".
    QString manifestText() const;
    QString deckItemsText() const;
    QString deckDepthText() const;

    // Refuses copying `bytes` in `items` files and folders onto `disk` when it
    // has not room for the blocks they take; the text, led by `place` (as in
    // "所选位置"), names the space needed and the space free.
    static std::optional<ProjectBackupError> spaceProblem(const struct statvfs& disk, qint64 bytes, qint64 items,
                                                          const QString& place);
    // A size in round words, as in "1.5 GB".
    static QString sizeText(qint64 bytes);

    // a + b, or the largest size when the sum would pass it: sizes are the
    // files' own word (a sparse file may claim nearly 2^63 bytes), and a total
    // that large is refused for want of room like any other too large.
    static qint64 addSizes(qint64 a, qint64 b);
};

} // namespace quorvia
