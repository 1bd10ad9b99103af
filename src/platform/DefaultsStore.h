#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

namespace quorvia::platform {

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
    // application calls it on its way out. Stores held in memory do nothing.
    virtual void flush() {}
    // Damaged files of the store that opening it moved aside, kept for a
    // person to recover; the application names them to the user once.
    virtual QStringList damagedFilesSetAside() const { return {}; }

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
