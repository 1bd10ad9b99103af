#include "platform/linux/SettingsDefaults.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace quorvia::platform::native {

namespace {
QString applicationConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/com.local.quorvia.mvp");
}
} // namespace

SettingsDefaults::SettingsDefaults()
    : SettingsDefaults(applicationConfigFolder() + QStringLiteral("/defaults"), applicationConfigFolder() + QStringLiteral("/defaults.ini"))
{
}

SettingsDefaults::SettingsDefaults(const QString& folder, const QString& legacySettingsPath, double coalesceSeconds)
    : files_(folder), coalesce_(coalesceSeconds)
{
    if (auto stored = files_.load())
        values_ = std::move(*stored);
    else
        importLegacySettings(legacySettingsPath);
    setAside_ = files_.setAside();
    writer_ = std::thread([this] { runWriter(); });
}

SettingsDefaults::~SettingsDefaults()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wakeWriter_.notify_all();
    writer_.join();
}

void SettingsDefaults::importLegacySettings(const QString& path)
{
    if (path.isEmpty() || !QFile::exists(path))
        return;
    // The earlier file stays as it is; it is read again only if the new store never got written.
    const QSettings legacy(path, QSettings::IniFormat);
    for (const QString& key : legacy.allKeys())
        values_.insert(key, legacy.value(key));
    if (!values_.isEmpty())
        ++changes_;
}

void SettingsDefaults::produceDeferred(const QString& key) const
{
    const auto deferred = deferred_.find(key);
    if (deferred == deferred_.end())
        return;
    values_.insert(key, QVariant(deferred->produce()));
    deferred_.erase(deferred);
}

std::optional<QVariant> SettingsDefaults::value(const QString& key) const
{
    std::lock_guard lock(mutex_);
    produceDeferred(key);
    const auto it = values_.constFind(key);
    if (it == values_.cend())
        return std::nullopt;
    return *it;
}

void SettingsDefaults::setValue(const QString& key, const QVariant& value)
{
    {
        std::lock_guard lock(mutex_);
        deferred_.remove(key);
        values_.insert(key, value);
        ++changes_;
    }
    wakeWriter_.notify_one();
}

void SettingsDefaults::setDeferredData(const QString& key, std::function<QByteArray()> produce)
{
    {
        std::lock_guard lock(mutex_);
        deferred_.insert(key, {std::move(produce), ++deferredGeneration_});
        ++changes_;
    }
    wakeWriter_.notify_one();
}

void SettingsDefaults::remove(const QString& key)
{
    {
        std::lock_guard lock(mutex_);
        const bool wasDeferred = deferred_.remove(key) > 0;
        if (values_.remove(key) == 0 && !wasDeferred)
            return;
        ++changes_;
    }
    wakeWriter_.notify_one();
}

QStringList SettingsDefaults::keys() const
{
    std::lock_guard lock(mutex_);
    QStringList keys = values_.keys();
    for (auto it = deferred_.cbegin(); it != deferred_.cend(); ++it)
        if (!values_.contains(it.key()))
            keys.append(it.key());
    keys.sort();
    return keys;
}

void SettingsDefaults::flush()
{
    std::unique_lock lock(mutex_);
    const quint64 target = changes_;
    if (stored_ >= target)
        return;
    flushRequested_ = true;
    wakeWriter_.notify_all();
    attemptFinished_.wait(lock, [&] { return attempted_ >= target; });
}

void SettingsDefaults::runWriter()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // A failed write is tried again at the next change or flush, not in a loop.
        wakeWriter_.wait(lock, [&] { return stopping_ || flushRequested_ || changes_ != attempted_; });
        if (changes_ == stored_) {
            flushRequested_ = false;
            attempted_ = changes_;
            attemptFinished_.notify_all();
            if (stopping_)
                return;
            continue;
        }
        if (!stopping_ && !flushRequested_)
            wakeWriter_.wait_for(lock, coalesce_, [&] { return stopping_ || flushRequested_; });

        // The map is shared, not copied; the next change on the main thread detaches it.
        QMap<QString, QVariant> snapshot = values_;
        const QMap<QString, Deferred> deferred = deferred_;
        const quint64 target = changes_;
        flushRequested_ = false;
        lock.unlock();
        // Values handed over to be made are made here, off their owner's thread.
        QMap<QString, QByteArray> produced;
        for (auto it = deferred.cbegin(); it != deferred.cend(); ++it) {
            produced.insert(it.key(), it->produce());
            snapshot.insert(it.key(), QVariant(produced.value(it.key())));
        }
        const bool written = files_.write(snapshot);
        lock.lock();
        for (auto it = produced.cbegin(); it != produced.cend(); ++it) {
            const auto current = deferred_.find(it.key());
            if (current != deferred_.end() && current->generation == deferred.value(it.key()).generation) {
                values_.insert(it.key(), QVariant(*it));
                deferred_.erase(current);
            }
        }
        attempted_ = target;
        if (written)
            stored_ = target;
        attemptFinished_.notify_all();
        if (stopping_ && (!written || changes_ == stored_))
            return;
    }
}

} // namespace quorvia::platform::native
