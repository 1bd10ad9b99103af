#pragma once

#include "platform/core/Scheduler.h"

#include <functional>

namespace quorvia::platform {

// Monotonic seconds, from the installed scheduler's clock: setting the date
// never moves a timer, and tests drive time exactly.
double uptime();
// The wall clock, in UTC; only for dates that are stored or shown.
QDateTime currentDate();

// A delayed call that can be cancelled; dropping the handle does not cancel it.
class DelayedCall {
public:
    DelayedCall() = default;
    void cancel();
    bool isScheduled() const;

private:
    friend class MainQueue;
    struct State;
    std::shared_ptr<State> state_;
};

class MainQueue {
public:
    // Thread-safe; never runs work in the caller's turn.
    static void async(std::function<void()> work);
    // Main thread only.
    static DelayedCall asyncAfter(double delaySeconds, std::function<void()> work);
    static bool isMainThread();
};

// One-shot or repeating timer on the main run loop; invalidated when destroyed.
class Timer {
public:
    Timer() = default;
    Timer(double intervalSeconds, bool repeats, std::function<void()> fire);
    Timer(Timer&&) noexcept;
    Timer& operator=(Timer&&) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    static std::unique_ptr<Timer> scheduled(double intervalSeconds, bool repeats, std::function<void()> fire);

    void invalidate();
    bool isValid() const;
    double interval() const { return interval_; }

private:
    struct State;
    std::shared_ptr<State> state_;
    double interval_ = 0;
};

class SerialQueue {
public:
    explicit SerialQueue(const QString& label);
    QString label() const;
    void async(std::function<void()> work) const;

private:
    std::shared_ptr<WorkQueue> queue_;
};

// The shared background queue for user-initiated file work.
WorkQueue& globalQueue();

} // namespace quorvia::platform
