#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace quorvia::platform {

// A queue that runs work off the main thread, in order.
class WorkQueue {
public:
    virtual ~WorkQueue() = default;
    virtual QString label() const = 0;
    // Thread-safe.
    virtual void async(std::function<void()> work) = 0;
};

// The main run loop and the monotonic clock. The application installs one on
// the Qt event loop; tests install a manual one that advances virtual time.
class Scheduler {
public:
    using TimerId = std::uint64_t;

    virtual ~Scheduler() = default;

    // Monotonic seconds since some fixed point.
    virtual double now() const = 0;
    // The calendar date, in UTC, for records that keep a date.
    virtual QDateTime currentDate() const = 0;
    // Runs work on the main thread on a later turn. Thread-safe.
    virtual void post(std::function<void()> work) = 0;
    // Main thread only: runs work once after delay seconds. Ids are never 0.
    virtual TimerId schedule(double delaySeconds, std::function<void()> work) = 0;
    virtual void cancel(TimerId id) = 0;
    virtual bool isMainThread() const = 0;

    virtual std::shared_ptr<WorkQueue> makeSerialQueue(const QString& label) = 0;
    virtual WorkQueue& globalQueue() = 0;
    // Main thread, once its loop has ended: waits at most `withinSeconds` for
    // the global queue to run all its work, and says whether it has; what
    // that work posts to the main thread never runs.
    virtual bool finishGlobalWork(double withinSeconds) = 0;
};

} // namespace quorvia::platform
