#pragma once

#include "platform/core/Scheduler.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <unordered_map>

class QTimer;

namespace quorvia::platform::native {

// The main run loop is Qt's event loop; background queues are our own threads.
class QtScheduler final : public QObject, public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    double now() const override;
    QDateTime currentDate() const override;
    void post(std::function<void()> work) override;
    TimerId schedule(double delaySeconds, std::function<void()> work) override;
    void cancel(TimerId id) override;
    bool isMainThread() const override;
    std::shared_ptr<WorkQueue> makeSerialQueue(const QString& label) override;
    WorkQueue& globalQueue() override;
    bool finishGlobalWork(double withinSeconds) override;

private:
    QElapsedTimer clock_;
    TimerId nextId_ = 1;
    std::unordered_map<TimerId, QTimer*> timers_;
    std::shared_ptr<WorkQueue> global_;
};

} // namespace quorvia::platform::native
