#pragma once

#include "platform/linux/settings/DefaultsFileStore.h"

#include "platform/files/AtomicFileWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>
#include <vector>

namespace quorvia::platform::native {

// The format of the store's files, which reading, loading and writing share.
namespace defaults_file {

inline constexpr quint32 indexMagic = 0x51444631;
inline constexpr quint32 valueMagic = 0x51445631;
inline constexpr quint32 piecewiseMagic = 0x51445031;
inline constexpr quint8 inlineValue = 0;
inline constexpr quint8 separateValue = 1;

inline const QString separatePrefix = QStringLiteral("value-");
inline const QString separateSuffix = QStringLiteral(".dat");
inline const QString temporaryMarker = QString::fromLatin1(atomicWriteTemporaryMarker);
inline const QString piecePrefix = QStringLiteral("piece-");
// What a damaged file's name carries once it is set aside.
inline const QString unreadableMarker = QStringLiteral(".unreadable-");
// The index's last entry, under a key no caller can use, holds a digest of the
// bytes before it: one stray byte anywhere makes the index unreadable rather
// than naming a wrong file. An earlier reader takes it for one more value.
inline const QString digestKey = QStringLiteral("\u0000index-digest");

QByteArray digestOf(QByteArrayView bytes);

// What reading one stored file found.
struct StoredFile {
    enum class State { read, missing, odd, unreadable } state = State::missing;
    QByteArray bytes;
};

// Never waits (a FIFO), reads only plain files (not a device behind a link)
// and never more than the bound (a file that grows while it is read).
StoredFile readStoredFile(const QString& path, qint64 bound);

// A new name every time: the index on disk still names the previous file
// until it is replaced. The name carries the key, for when no index does.
QString separateFileName(const QString& key);
// Whether the value goes in a file of its own.
bool isLarge(const QVariant& value);

QByteArray encodeValue(const QVariant& value);
std::optional<QVariant> decodeValue(const QByteArray& bytes);
// A value kept in pieces: the names and lengths of its pieces, in order.
QByteArray encodePieceList(const std::vector<std::pair<QString, qsizetype>>& pieces);
std::optional<std::vector<std::pair<QString, qsizetype>>> decodePieceList(const QByteArray& bytes);

bool isSeparateFileName(const QString& name);
bool isPieceFileName(const QString& name);

} // namespace defaults_file

struct DefaultsFileStore::Index {
    struct Entry {
        QString key;
        std::optional<QVariant> inlineValue;
        QString fileName;
    };
    std::vector<Entry> entries;
};

} // namespace quorvia::platform::native
