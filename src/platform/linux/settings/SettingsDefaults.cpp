#include "platform/linux/settings/SettingsDefaults.h"

#include "platform/files/ErrorDescription.h"
#include "platform/files/WriteGate.h"
#include "platform/core/MainQueue.h"
#include "platform/core/Uuid.h"
#include "platform/Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>

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

SettingsDefaults::SettingsDefaults(const QString& folder, const QString& legacySettingsPath, double coalesceSeconds,
                                   double firstRetrySeconds, qsizetype piecewiseFrom)
    : files_(folder, piecewiseFrom), location_(folder), coalesce_(coalesceSeconds), firstRetry_(firstRetrySeconds),
      retry_(firstRetrySeconds)
{
    if (auto stored = files_.load())
        values_ = std::move(*stored);
    else
        importLegacySettings(legacySettingsPath);
    damage_ = files_.damage();
    readWhole_ = files_.readWhole();
    // What was recovered is written at once under a new index and its copy,
    // which no longer name what was set aside or missing: said once.
    if (!damage_.isEmpty())
        ++changes_;
    // Settings made afresh have none yet. Rewritten without what was lost, they
    // are not the ones anything stored earlier went into, though in the same folder.
    identity_ = values_.value(identityKey).toString();
    if (!damage_.isEmpty() || !parseUuid(identity_)) {
        identity_ = uuidString(newUuid());
        values_.insert(identityKey, identity_);
        ++changes_;
    }
    writer_ = std::thread([this] {
        ::pthread_setname_np(::pthread_self(), writerThreadName);
        runWriter();
    });
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
    keys.removeOne(identityKey);
    for (auto it = deferred_.cbegin(); it != deferred_.cend(); ++it)
        if (!values_.contains(it.key()))
            keys.append(it.key());
    keys.sort();
    return keys;
}

std::optional<DefaultsWriteFailure> SettingsDefaults::flush()
{
    std::unique_lock lock(mutex_);
    const quint64 target = changes_;
    if (stored_ >= target)
        return std::nullopt;
    // An attempt that began before this call may not hold every change: wait for a later one.
    const quint64 attemptsBefore = attempts_;
    flushRequested_ = true;
    wakeWriter_.notify_all();
    attemptFinished_.wait(lock, [&] { return stored_ >= target || (attempted_ >= target && attempts_ > attemptsBefore); });
    if (stored_ >= target)
        return std::nullopt;
    return failure_;
}

void SettingsDefaults::reportFailure(const std::error_code& error, bool gated)
{
    // A folder that is not there could not be made: said so, with why.
    const bool missing = !gated && !QFileInfo(files_.folder()).isDir();
    const QString reason = describeError(error);
    const DefaultsWriteFailure failure{files_.folder(),
                                       missing ? QStringLiteral("文件夹不存在，也无法创建（%1）").arg(reason) : reason};
    const bool alreadyTold = failure_.has_value();
    failure_ = failure;
    // On the way out the caller of the last flush says it.
    if (alreadyTold || stopping_)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：无法保存到 %1（%2），稍后会再试。").arg(failure.folder, failure.reason)));
    if (!hasCurrent())
        return;
    MainQueue::async([weak = std::weak_ptr<SettingsDefaults*>(life_), failure] {
        if (const auto life = weak.lock(); life && (*life)->onWriteFailure)
            (*life)->onWriteFailure(failure);
    });
}

void SettingsDefaults::runWriter()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // Wakes for a change, a flush or the quit, and at once while a failed
        // write is still owed: its retry waits below, longer after each failure.
        wakeWriter_.wait(lock, [&] { return stopping_ || flushRequested_ || changes_ != attempted_ || changes_ != stored_; });
        if (changes_ == stored_) {
            flushRequested_ = false;
            attempted_ = changes_;
            attemptFinished_.notify_all();
            if (stopping_)
                return;
            continue;
        }
        // After a failure the next attempt waits longer each time, so a full
        // disk is not hammered with rewrites; a flush or the quit tries at once.
        if (!stopping_ && !flushRequested_)
            wakeWriter_.wait_for(lock, failure_ ? retry_ : coalesce_, [&] { return stopping_ || flushRequested_; });

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
        const std::error_code refused = askWriteGate(files_.folder());
        const auto outcome = refused ? std::expected<void, std::error_code>(std::unexpected(refused)) : files_.write(snapshot);
        const bool written = outcome.has_value();
        lock.lock();
        for (auto it = produced.cbegin(); it != produced.cend(); ++it) {
            const auto current = deferred_.find(it.key());
            if (current != deferred_.end() && current->generation == deferred.value(it.key()).generation) {
                values_.insert(it.key(), QVariant(*it));
                deferred_.erase(current);
            }
        }
        attempted_ = target;
        ++attempts_;
        if (written) {
            stored_ = target;
            failure_.reset();
            retry_ = firstRetry_;
        } else {
            reportFailure(outcome.error(), bool(refused));
            retry_ = std::min(retry_ * 2, std::chrono::duration<double>(longestRetrySeconds));
        }
        attemptFinished_.notify_all();
        if (stopping_ && (!written || changes_ == stored_))
            return;
    }
}

} // namespace quorvia::platform::native
