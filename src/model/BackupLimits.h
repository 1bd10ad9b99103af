#pragma once

#include <QString>

namespace quorvia {

// What one backup package may hold. Export and import keep to the same
// figures, so whatever export writes, import reads back, and both admit every
// project the application can hold: a script at the script limits (whose
// manifest, with every character escaped, stays under 200 MB) with its deck.
struct BackupLimits {
    qint64 manifestBytes = qint64(256) << 20;
    // Over all decks together.
    qint64 deckBytes = qint64(2) << 30;
    // Files, folders and links of all decks together.
    qint64 deckItems = 100000;
    // Folders within folders of one folder deck.
    int deckDepth = 64;

    static BackupLimits standard() { return {}; }

    // Each limit in words, as in "备份清单超过 256 MB 的上限".
    QString manifestText() const;
    QString deckBytesText() const;
    QString deckItemsText() const;
    QString deckDepthText() const;
};

} // namespace quorvia
