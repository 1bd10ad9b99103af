#include "support/ManualScheduler.h"

#include <deque>

namespace quorvia::test {

class ManualWorkQueue final : public platform::WorkQueue {
public:
    ManualWorkQueue(QString label, ManualScheduler& owner) : label_(std::move(label)), owner_(owner) {}
    QString label() const override { return label_; }
    void async(std::function<void()> work) override
    {
        if (owner_.queuesInline()) {
            work();
            return;
        }
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(work));
    }
    bool runOne()
    {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return false;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        return true;
    }
    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

private:
    QString label_;
    ManualScheduler& owner_;
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

ManualScheduler::ManualScheduler()
    : global_(std::make_shared<ManualWorkQueue>(QStringLiteral("com.local.quorvia.global"), *this)),
      mainThread_(std::this_thread::get_id())
{
    queues_.push_back(global_);
}

ManualScheduler::~ManualScheduler() = default;

void ManualScheduler::post(std::function<void()> work)
{
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(work));
}

void ManualScheduler::takePosted()
{
    std::vector<std::function<void()>> posted;
    {
        std::lock_guard lock(postedMutex_);
        posted.swap(posted_);
    }
    for (auto& work : posted) {
        const TimerId id = nextId_++;
        const auto key = std::make_pair(now_, seq_++);
        items_.emplace(key, Item{now_, key.second, id, std::move(work)});
        byId_.emplace(id, key);
    }
}

platform::Scheduler::TimerId ManualScheduler::schedule(double delaySeconds, std::function<void()> work)
{
    takePosted(); // keep order with calls posted earlier
    const TimerId id = nextId_++;
    const double due = now_ + std::max(0.0, delaySeconds);
    const auto key = std::make_pair(due, seq_++);
    items_.emplace(key, Item{due, key.second, id, std::move(work)});
    byId_.emplace(id, key);
    return id;
}

void ManualScheduler::cancel(TimerId id)
{
    auto it = byId_.find(id);
    if (it == byId_.end())
        return;
    items_.erase(it->second);
    byId_.erase(it);
}

bool ManualScheduler::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

std::shared_ptr<platform::WorkQueue> ManualScheduler::makeSerialQueue(const QString& label)
{
    auto queue = std::make_shared<ManualWorkQueue>(label, *this);
    queues_.push_back(queue);
    return queue;
}

platform::WorkQueue& ManualScheduler::globalQueue() { return *global_; }

bool ManualScheduler::finishGlobalWork(double)
{
    while (global_->runOne()) {
    }
    return true;
}

void ManualScheduler::runPending()
{
    for (;;) {
        takePosted();
        if (items_.empty() || items_.begin()->first.first > now_)
            return;
        auto node = items_.extract(items_.begin());
        byId_.erase(node.mapped().id);
        node.mapped().work();
    }
}

bool ManualScheduler::runNext()
{
    takePosted();
    if (items_.empty())
        return false;
    auto node = items_.extract(items_.begin());
    byId_.erase(node.mapped().id);
    if (node.mapped().due > now_)
        now_ = node.mapped().due;
    node.mapped().work();
    return true;
}

void ManualScheduler::advance(double seconds)
{
    const double target = now_ + std::max(0.0, seconds);
    for (;;) {
        takePosted();
        if (items_.empty() || items_.begin()->first.first > target + 1e-9)
            break;
        auto node = items_.extract(items_.begin());
        byId_.erase(node.mapped().id);
        if (node.mapped().due > now_)
            now_ = node.mapped().due;
        node.mapped().work();
    }
    now_ = target;
    runPending();
}

std::size_t ManualScheduler::pendingCount() const
{
    std::lock_guard lock(postedMutex_);
    return items_.size() + posted_.size();
}

void ManualScheduler::setQueuesInline(bool runInline) { inline_ = runInline; }

void ManualScheduler::drainQueues()
{
    bool ran = true;
    while (ran) {
        ran = false;
        for (std::size_t i = 0; i < queues_.size(); ++i) {
            if (auto queue = queues_[i].lock())
                while (queue->runOne())
                    ran = true;
        }
    }
}

void ManualScheduler::drainQueue(const QString& label)
{
    for (std::size_t i = 0; i < queues_.size(); ++i) {
        if (auto queue = queues_[i].lock(); queue && queue->label() == label)
            while (queue->runOne()) {
            }
    }
}

std::size_t ManualScheduler::queuedWorkCount() const
{
    std::size_t count = 0;
    for (const auto& weak : queues_)
        if (auto queue = weak.lock())
            count += queue->size();
    return count;
}

std::vector<QString> ManualScheduler::queueLabels() const
{
    std::vector<QString> labels;
    for (const auto& weak : queues_)
        if (auto queue = weak.lock())
            labels.push_back(queue->label());
    return labels;
}

void ManualScheduler::settle()
{
    for (int guard = 0; guard < 10000; ++guard) {
        runPending();
        if (queuedWorkCount() == 0) {
            std::lock_guard lock(postedMutex_);
            if (posted_.empty())
                return;
            continue;
        }
        drainQueues();
    }
}

} // namespace quorvia::test
