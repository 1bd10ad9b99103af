#pragma once

#include "platform/core/Scheduler.h"


#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvia::test {

class ManualWorkQueue;

// Virtual time: nothing runs until the test advances the clock or drains.
// Posted calls and due timers run in time order, ties in scheduling order.
class ManualScheduler final : public platform::Scheduler {
public:
    ManualScheduler();
    ~ManualScheduler() override;

    double now() const override { return now_; }
    // A fixed date that moves with the virtual clock.
    QDateTime currentDate() const override { return date_.addMSecs(static_cast<qint64>((now_ - 1000.0) * 1000.0)); }
    void setCurrentDate(const QDateTime& date) { date_ = date.addMSecs(-static_cast<qint64>((now_ - 1000.0) * 1000.0)); }
    void post(std::function<void()> work) override;
    TimerId schedule(double delaySeconds, std::function<void()> work) override;
    void cancel(TimerId id) override;
    bool isMainThread() const override;
    std::shared_ptr<platform::WorkQueue> makeSerialQueue(const QString& label) override;
    platform::WorkQueue& globalQueue() override;
    bool finishGlobalWork(double withinSeconds) override;

    // Runs everything due at the current time, including what that work posts.
    void runPending();
    // Moves the clock forward, running every call due on the way at its own time.
    void advance(double seconds);
    // Advance to the next due item and run it; false when nothing is scheduled.
    bool runNext();
    // Moves the clock forward without running anything, as a blocked main
    // thread would; what fell due runs at the next runPending or advance.
    void stall(double seconds) { now_ += seconds > 0 ? seconds : 0; }
    std::size_t pendingCount() const;

    // Background queues: by default work waits until drained.
    void setQueuesInline(bool runInline);
    bool queuesInline() const { return inline_; }
    // Runs the queued background work of every queue (and work it enqueues).
    void drainQueues();
    void drainQueue(const QString& label);
    std::size_t queuedWorkCount() const;
    std::vector<QString> queueLabels() const;

    // runPending and drainQueues until both are idle.
    void settle();

private:
    struct Item {
        double due;
        std::uint64_t seq;
        TimerId id;
        std::function<void()> work;
    };
    void takePosted();

    double now_ = 1000.0;
    QDateTime date_ = QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC);
    std::uint64_t seq_ = 0;
    TimerId nextId_ = 1;
    std::map<std::pair<double, std::uint64_t>, Item> items_;
    std::map<TimerId, std::pair<double, std::uint64_t>> byId_;

    mutable std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;

    bool inline_ = false;
    std::vector<std::weak_ptr<ManualWorkQueue>> queues_;
    std::shared_ptr<ManualWorkQueue> global_;
    std::thread::id mainThread_;
};

} // namespace quorvia::test
