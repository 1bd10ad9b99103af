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

std::optional<QVariant> SettingsDefaults::value(const QString& key) const
{
    std::lock_guard lock(mutex_);
    const auto it = values_.constFind(key);
    if (it == values_.cend())
        return std::nullopt;
    return *it;
}

void SettingsDefaults::setValue(const QString& key, const QVariant& value)
{
    {
        std::lock_guard lock(mutex_);
        values_.insert(key, value);
        ++changes_;
    }
    wakeWriter_.notify_one();
}

void SettingsDefaults::remove(const QString& key)
{
    {
        std::lock_guard lock(mutex_);
        if (values_.remove(key) == 0)
            return;
        ++changes_;
    }
    wakeWriter_.notify_one();
}

QStringList SettingsDefaults::keys() const
{
    std::lock_guard lock(mutex_);
    return values_.keys();
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
        const QMap<QString, QVariant> snapshot = values_;
        const quint64 target = changes_;
        flushRequested_ = false;
        lock.unlock();
        const bool written = files_.write(snapshot);
        lock.lock();
        attempted_ = target;
        if (written)
            stored_ = target;
        attemptFinished_.notify_all();
        if (stopping_ && (!written || changes_ == stored_))
            return;
    }
}

} // namespace quorvia::platform::native
