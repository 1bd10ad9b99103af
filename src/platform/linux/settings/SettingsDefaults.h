#pragma once

#include "platform/settings/DefaultsStore.h"
#include "platform/linux/settings/DefaultsFileStore.h"

#include <QMap>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvia::platform::native {

// The defaults store under the user's config folder. Values live in memory, so
// a read after a write sees it at once; a thread of its own writes them to
// disk within about a second of a change, taking every change made meanwhile in
// one atomic write (a value set again before then is written once), and at
// once when flushed. A write that fails is tried again, later and later, until
// one succeeds. Each write asks the installed write gate first; one it refuses
// fails with its error.
class SettingsDefaults final : public DefaultsStore {
public:
    // The store's folder under the user's config folder; the settings file that
    // earlier versions kept beside it is read at the first start.
    SettingsDefaults();
    // `legacySettingsPath` is read only while `folder` holds no store.
    // A change waits up to `coalesceSeconds` for others to join it in one write.
    SettingsDefaults(const QString& folder, const QString& legacySettingsPath, double coalesceSeconds = defaultCoalesceSeconds,
                     double firstRetrySeconds = defaultFirstRetrySeconds, qsizetype piecewiseFrom = DefaultsFileStore::piecewiseThreshold);
    // Writes what is still pending.
    ~SettingsDefaults() override;

    SettingsDefaults(const SettingsDefaults&) = delete;
    SettingsDefaults& operator=(const SettingsDefaults&) = delete;

    std::optional<QVariant> value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    // Run by the writer, just before the write that holds the value.
    void setDeferredData(const QString& key, std::function<QByteArray()> produce) override;
    QStringList keys() const override;
    std::optional<DefaultsWriteFailure> flush() override;
    DefaultsStoreDamage damageFound() const override { return damage_; }
    QString location() const override { return location_; }
    bool readWhole() const override { return readWhole_; }
    QString identity() const override { return identity_; }

    static constexpr double defaultCoalesceSeconds = 1.0;
    static constexpr double defaultFirstRetrySeconds = 2.0;
    static constexpr double longestRetrySeconds = 30.0;
    // The writer thread's name, as the system lists it.
    static constexpr const char* writerThreadName = "quorvia-store";
    // The key the identity is kept under; keys() leaves it out.
    static inline const QString identityKey = QStringLiteral("\u0000settings-identity");

private:
    void importLegacySettings(const QString& path);
    // With the lock held: makes the key's deferred value, if any, now.
    void produceDeferred(const QString& key) const;
    void runWriter();
    // With the lock held, on the writer.
    // `gated`: the write was refused before it began, so the folder was never tried.
    void reportFailure(const std::error_code& error, bool gated);

    DefaultsFileStore files_; // the writer's once constructed
    DefaultsStoreDamage damage_;
    const QString location_;
    bool readWhole_ = false;
    QString identity_;
    const std::chrono::duration<double> coalesce_;
    const std::chrono::duration<double> firstRetry_;
    std::chrono::duration<double> retry_;

    mutable std::mutex mutex_;
    std::condition_variable wakeWriter_;
    std::condition_variable attemptFinished_;
    mutable QMap<QString, QVariant> values_;
    // Values still to be made, each newer than what values_ holds for its key.
    struct Deferred {
        std::function<QByteArray()> produce;
        quint64 generation = 0;
    };
    mutable QMap<QString, Deferred> deferred_;
    quint64 deferredGeneration_ = 0;
    // Counts of changes: made, covered by the last write attempt, and on disk.
    quint64 changes_ = 0;
    quint64 attempted_ = 0;
    quint64 stored_ = 0;
    quint64 attempts_ = 0;
    bool flushRequested_ = false;
    bool stopping_ = false;
    // Why the last attempt failed; none once one succeeds.
    std::optional<DefaultsWriteFailure> failure_;
    // Lets a report posted to the main thread find the store gone.
    std::shared_ptr<SettingsDefaults*> life_ = std::make_shared<SettingsDefaults*>(this);

    std::thread writer_;
};

} // namespace quorvia::platform::native
