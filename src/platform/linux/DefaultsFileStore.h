#pragma once

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace quorvia::platform::native {

// The defaults store's files in one folder: a small index file that holds the
// small values and names the files of the large ones. Every file is complete
// before it takes its final name, and the index is replaced by a rename, so a
// crash leaves either the previous or the new set of values. Not thread-safe:
// one thread uses an instance at a time.
class DefaultsFileStore {
public:
    // Values at least this large live in files of their own, rewritten only when they change.
    static constexpr qsizetype separateFileThreshold = 16 * 1024;
    static inline const QString indexName = QStringLiteral("defaults.dat");

    explicit DefaultsFileStore(const QString& folder);

    // Nothing when the folder holds no index yet. An index that cannot be read
    // is moved aside (never deleted) and also reads as nothing. A large value
    // whose file is missing, unreadable or damaged reads as the file's bytes
    // (empty when there are none), which no reader takes for a good value, and
    // the file is moved aside.
    std::optional<QMap<QString, QVariant>> load();

    // The paths the last load moved damaged files to.
    const QStringList& setAside() const { return setAside_; }

    // Writes every value, reusing the files of large values that did not change,
    // then deletes the files the new index no longer names. False when the
    // write failed; the previous state is then still on disk.
    bool write(const QMap<QString, QVariant>& values);

    const QString& folder() const { return folder_; }

private:
    struct SeparateFile {
        QString name;
        QVariant value;
    };

    bool writeSeparate(const QVariant& value, QString& name);
    void removeLeftovers(const QHash<QString, SeparateFile>& kept);
    void moveAside(const QString& name);

    QString folder_;
    // What the index on disk names, with the value each file holds.
    QHash<QString, SeparateFile> separate_;
    QStringList setAside_;
    // Damaged files that could not be moved aside: never removed as leftovers.
    QSet<QString> keep_;
};

} // namespace quorvia::platform::native
