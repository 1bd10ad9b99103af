#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quorvia {

// What an import's record in the document store's incoming folder says: the
// settings its projects go into, by where they are kept and by their
// identity, and the store's folders of its copies. It is on the drive before
// any copy is admitted and goes once settings naming the copies are, so a
// start meets only the records of imports never said done.
struct ImportRecord {
    // Nothing in a record that names no settings: it can never be judged.
    std::optional<QString> settingsLocation;
    // Empty in an earlier build's record, which names the settings by their folder alone.
    QString settingsIdentity;
    QList<QByteArray> copyFolders;

    QByteArray encoded() const;
    // A copy's folder only as the store names it: on a drive that ignores
    // case, another spelling reaches the same folder under a name no project uses.
    static ImportRecord decoded(const QByteArray& bytes);
    // The most an import writes: settings by a path the system can open, and a
    // copy for each item the decks of the largest backup hold. A start reads no more.
    static qint64 byteBound();
};

} // namespace quorvia
