#pragma once

#include "platform/DefaultsStore.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <expected>
#include <optional>

namespace quorvia::platform::native {

// The defaults store's files in one folder: a small index file that holds the
// small values and names the files of the large ones, and a copy of the index
// beside it. Each large value's file names its key, so the value can be found
// again without either index. Every file is complete before it takes its final
// name, and the index is replaced by a rename, so a crash leaves either the
// previous or the new set of values. Not thread-safe: one thread uses an
// instance at a time.
class DefaultsFileStore {
public:
    // Values at least this large live in files of their own, rewritten only when they change.
    static constexpr qsizetype separateFileThreshold = 16 * 1024;
    // Larger files are not read: no value of ours comes near.
    static constexpr qint64 maximumIndexBytes = 256 << 20;
    static constexpr qint64 maximumValueBytes = qint64(1) << 30;
    static inline const QString indexName = QStringLiteral("defaults.dat");
    static inline const QString indexCopyName = QStringLiteral("defaults-copy.dat");

    explicit DefaultsFileStore(const QString& folder);

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

    // Writes every value, reusing the files of large values that did not change,
    // then deletes the files the new index no longer names. On failure, answers
    // the error number; the previous state is then still on disk.
    std::expected<void, int> write(const QMap<QString, QVariant>& values);

    const QString& folder() const { return folder_; }

    // The key a value file's name carries, if any.
    static std::optional<QString> keyOfFileName(const QString& name);

private:
    struct SeparateFile {
        QString name;
        QVariant value;
    };
    struct Index;

    std::optional<Index> readIndex(const QString& name) const;
    std::expected<void, int> writeSeparate(const QString& key, const QVariant& value, QString& name);
    void removeLeftovers(const QHash<QString, SeparateFile>& kept);
    // The path the file now has: aside, or where it was when it could not be moved.
    QString moveAside(const QString& name);

    QString folder_;
    // What the index on disk names, with the value each file holds.
    QHash<QString, SeparateFile> separate_;
    DefaultsStoreDamage damage_;
    // Files that could not be moved aside: never removed as leftovers.
    QSet<QString> keep_;
};

} // namespace quorvia::platform::native
