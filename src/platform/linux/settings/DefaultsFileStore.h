#pragma once

#include "platform/settings/DefaultsStore.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <expected>
#include <optional>
#include <vector>

namespace quorvia::platform::native {

// The defaults store's files in one folder: a small index file that holds the
// small values and names the files of the large ones, and a copy of the index
// beside it. Each large value's file names its key, so the value can be found
// again without either index. A very large value of bytes is kept in pieces
// that its file lists in order: a change rewrites only the pieces it touches,
// so a small edit in the middle of many megabytes writes little. Every file is
// complete before it takes its final name, and the index is replaced by a
// rename, so a crash leaves either the previous or the new set of values. Not
// thread-safe: one thread uses an instance at a time.
class DefaultsFileStore {
public:
    // Values at least this large live in files of their own, rewritten only when they change.
    static constexpr qsizetype separateFileThreshold = 16 * 1024;
    // Byte values at least this large are kept in pieces of about this size.
    // Smaller ones keep the single file that earlier versions read.
    static constexpr qsizetype piecewiseThreshold = 1 << 20;
    static constexpr qsizetype pieceBytes = 256 << 10;
    // Larger files are not read: no value of ours comes near.
    static constexpr qint64 maximumIndexBytes = 256 << 20;
    static constexpr qint64 maximumValueBytes = qint64(1) << 30;
    static inline const QString indexName = QStringLiteral("defaults.dat");
    static inline const QString indexCopyName = QStringLiteral("defaults-copy.dat");

    // `piecewiseFrom`: the size from which byte values are kept in pieces.
    explicit DefaultsFileStore(const QString& folder, qsizetype piecewiseFrom = piecewiseThreshold);

    // Nothing when the folder holds no store yet, or nothing of it could be
    // read. An index that cannot be read is moved aside (never deleted) and the
    // copy is read instead; without a usable copy, large values are recovered
    // from the files that name their keys and every other value file is moved
    // aside. A large value whose file is damaged reads as the file's bytes,
    // which no reader takes for a good value, and the file is moved aside; one
    // whose file is missing, not a plain file or too large reads as absent.
    // Files are opened without waiting and read only up to their bound.
    std::optional<QMap<QString, QVariant>> load();

    // What the last load found wrong.
    const DefaultsStoreDamage& damage() const { return damage_; }
    // Whether the last load read every value last written (DefaultsStore::readWhole).
    bool readWhole() const { return readWhole_; }

    // Writes every value, reusing the files of large values that did not change,
    // then deletes the files the new index no longer names. On failure, answers
    // the error number; the previous state is then still on disk.
    std::expected<void, std::error_code> write(const QMap<QString, QVariant>& values);

    const QString& folder() const { return folder_; }

    // The key a value file's name carries, if any.
    static std::optional<QString> keyOfFileName(const QString& name);

private:
    struct Piece {
        QString name;
        qsizetype length = 0;
    };
    struct SeparateFile {
        QString name;
        QVariant value;
        // In order, when the value is kept in pieces.
        std::vector<Piece> pieces;
    };
    struct Index;
    struct Loading;

    std::optional<Index> readIndex(const QString& name) const;
    // The steps of a load: the copy read when the index cannot be, the values
    // the index names, value files of keys it lost, and pieces no value names.
    std::optional<Index> setIndexAsideForItsCopy(const QStringList& present);
    void readIndexedValues(const Index& index, Loading& loading);
    // True when the file gave the key its value.
    bool readValueFile(const QString& key, const QString& name, Loading& loading);
    void recoverValuesTheIndexLost(const QStringList& valueFiles, Loading& loading);
    void setAsidePiecesNoValueNames(const QStringList& present, const QHash<QString, SeparateFile>& separate);
    std::expected<void, std::error_code> writeValuesAndIndex(const QMap<QString, QVariant>& values);
    std::expected<void, std::error_code> writeSeparate(const QString& key, const QVariant& value, QString& name);
    // Reuses the pieces of `previous` that the change leaves whole.
    std::expected<void, std::error_code> writePiecewise(const QString& key, const QByteArray& value, const SeparateFile* previous,
                                            SeparateFile& written);
    // The value a piece list names, when every piece is there whole.
    std::optional<QByteArray> readPieces(const std::vector<Piece>& pieces) const;
    void removeLeftovers(const QHash<QString, SeparateFile>& kept);
    // The path the file now has: aside, or where it was when it could not be moved.
    QString moveAside(const QString& name);

    QString folder_;
    qsizetype piecewiseFrom_;
    // What the index on disk names, with the value each file holds.
    QHash<QString, SeparateFile> separate_;
    DefaultsStoreDamage damage_;
    bool readWhole_ = false;
    // Files that could not be moved aside: never removed as leftovers.
    QSet<QString> keep_;
    // Made by the write under way, and whether its index has replaced the one on disk.
    QStringList written_;
    bool indexReplaced_ = false;
};

} // namespace quorvia::platform::native
