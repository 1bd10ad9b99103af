#include "platform/linux/application/QtScheduler.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quorvia::platform::native {

namespace {

// The thread keeps what it runs on alive itself, so the queue may be
// destroyed from one of its own tasks: it then lets the thread finish the
// remaining tasks and end on its own instead of joining itself.
class ThreadQueue final : public WorkQueue {
public:
    explicit ThreadQueue(QString label)
        : label_(std::move(label)), state_(std::make_shared<State>()), thread_([state = state_] { run(*state); })
    {
    }

    ~ThreadQueue() override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
        }
        state_->wake.notify_all();
        if (std::this_thread::get_id() == thread_.get_id())
            thread_.detach();
        else
            thread_.join();
    }

    QString label() const override { return label_; }

    void async(std::function<void()> work) override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->tasks.push_back(std::move(work));
        }
        state_->wake.notify_one();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> tasks;
        bool stopping = false;
    };

    static void run(State& state)
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(state.mutex);
                state.wake.wait(lock, [&] { return state.stopping || !state.tasks.empty(); });
                if (state.tasks.empty())
                    return; // stopping with nothing left
                task = std::move(state.tasks.front());
                state.tasks.pop_front();
            }
            task();
        }
    }

    QString label_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

class PoolQueue final : public WorkQueue {
public:
    QString label() const override { return QStringLiteral("com.local.quorvia.global"); }
    void async(std::function<void()> work) override { QThreadPool::globalInstance()->start(std::move(work)); }
};

} // namespace

QtScheduler::QtScheduler() : global_(std::make_shared<PoolQueue>()) { clock_.start(); }

QtScheduler::~QtScheduler()
{
    for (auto& [id, timer] : timers_)
        delete timer;
}

QDateTime QtScheduler::currentDate() const { return QDateTime::currentDateTimeUtc(); }

double QtScheduler::now() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

void QtScheduler::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

Scheduler::TimerId QtScheduler::schedule(double delaySeconds, std::function<void()> work)
{
    const TimerId id = nextId_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(static_cast<int>(std::max(0.0, delaySeconds) * 1000.0 + 0.5));
    connect(timer, &QTimer::timeout, this, [this, id, work = std::move(work)] {
        auto it = timers_.find(id);
        if (it == timers_.end())
            return;
        it->second->deleteLater();
        timers_.erase(it);
        work();
    });
    timers_[id] = timer;
    timer->start();
    return id;
}

void QtScheduler::cancel(TimerId id)
{
    auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

bool QtScheduler::isMainThread() const
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::shared_ptr<WorkQueue> QtScheduler::makeSerialQueue(const QString& label) { return std::make_shared<ThreadQueue>(label); }

WorkQueue& QtScheduler::globalQueue() { return *global_; }

bool QtScheduler::finishGlobalWork(double withinSeconds)
{
    return QThreadPool::globalInstance()->waitForDone(static_cast<int>(std::max(0.0, withinSeconds) * 1000.0));
}

} // namespace quorvia::platform::native
