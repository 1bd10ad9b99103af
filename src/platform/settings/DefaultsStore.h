#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

namespace quorvia::platform {

// What opening a store found wrong. Nothing of it was deleted: damaged files
// and files the store could not tell the key of were renamed aside, where a
// person can still recover them.
struct DefaultsStoreDamage {
    enum class Index {
        intact,
        // The index was damaged or gone; the copy kept beside it held every value.
        restoredFromCopy,
        // Index and copy were both unusable: the small values are gone and the
        // large ones came back only as far as their own files name their keys.
        lost,
    };
    QString folder;
    Index index = Index::intact;
    // Damaged or unreadable files, at the paths they were moved to (where they
    // are when they could not be moved).
    QStringList setAside;
    // Files the index named that were not there; their keys read as absent.
    QStringList missing;
    // Value files that no index named and whose key is unknown, moved aside.
    QStringList unaccounted;
    // Keys read back from their own files after the index was lost.
    QStringList recovered;

    bool isEmpty() const
    {
        return index == Index::intact && setAside.isEmpty() && missing.isEmpty() && unaccounted.isEmpty() && recovered.isEmpty();
    }
};

// A write to disk that failed: where and why, in words for the speaker.
struct DefaultsWriteFailure {
    QString folder;
    QString reason;
    bool operator==(const DefaultsWriteFailure&) const = default;
};

// The user's defaults store. Reads follow the platform's rules: an absent or
// unconvertible value reads 0, false or nothing, and a non-finite stored double
// reads as absent.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    virtual std::optional<QVariant> value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
    // Stores the bytes `produce` makes. A store that writes on a thread of its
    // own may run it there, later, so a large value is not encoded on the
    // caller's thread; a read of the key before then runs it at once, and a
    // newer value for the key means it never runs. `produce` must be safe to
    // run on any thread. This one runs it now.
    virtual void setDeferredData(const QString& key, std::function<QByteArray()> produce) { setData(key, produce()); }
    virtual QStringList keys() const = 0;
    // Writes every change made so far to disk and waits for it; the
    // application calls it on its way out and before it exports a backup.
    // Answers why, when what is in memory could not all be written. Stores held
    // in memory do nothing.
    virtual std::optional<DefaultsWriteFailure> flush() { return std::nullopt; }
    // What opening the store found wrong; the application tells the user once.
    virtual DefaultsStoreDamage damageFound() const { return {}; }
    // Where the store keeps its values, so a record made beside other files
    // can find the same store again; empty for a store held in memory.
    virtual QString location() const { return {}; }
    // Whether opening read every value last written there: false when the
    // folder was missing or could not be read, anything in it was damaged or
    // of a newer format, or files set aside earlier may still hold values.
    virtual bool readWhole() const { return true; }
    // The settings' own name, kept among them: it stays while they are
    // rewritten, and settings made afresh or rewritten over what opening found
    // damaged or missing get a new one. A copy or link of other settings
    // carries theirs. Empty for a store held in memory.
    virtual QString identity() const { return {}; }

    // Main thread. Told, on the main thread, when writes to disk begin to fail;
    // the store keeps trying, and tells again only after one has succeeded.
    std::function<void(const DefaultsWriteFailure&)> onWriteFailure;

    bool contains(const QString& key) const { return value(key).has_value(); }

    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    qint64 integer(const QString& key) const;
    double doubleValue(const QString& key) const;
    bool boolean(const QString& key) const;
    // Present and holding a finite number (or a numeric string).
    std::optional<double> number(const QString& key) const;

    void setData(const QString& key, const QByteArray& v) { setValue(key, QVariant(v)); }
    void setString(const QString& key, const QString& v) { setValue(key, QVariant(v)); }
    void setInteger(const QString& key, qint64 v) { setValue(key, QVariant(v)); }
    void setDouble(const QString& key, double v);
    void setBool(const QString& key, bool v) { setValue(key, QVariant(v)); }
};

} // namespace quorvia::platform
