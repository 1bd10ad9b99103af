#include "platform/sound/AnalyzerInputQueue.h"

namespace quorvia::platform {

AnalyzerInputQueue::YieldResult AnalyzerInputQueue::yield(PCMBuffer buffer)
{
    YieldResult result = YieldResult::enqueued;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || cancelled_)
            return YieldResult::terminated;
        if (limit_ == 0)
            return YieldResult::dropped;
        if (items_.size() >= limit_) {
            items_.pop_front();
            result = YieldResult::dropped;
        }
        items_.push_back(std::move(buffer));
    }
    ready_.notify_one();
    return result;
}

void AnalyzerInputQueue::finish()
{
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    ready_.notify_all();
}

std::optional<PCMBuffer> AnalyzerInputQueue::next()
{
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !items_.empty() || finished_ || cancelled_; });
    if (cancelled_ || items_.empty())
        return std::nullopt;
    auto item = std::move(items_.front());
    items_.pop_front();
    return item;
}

std::optional<PCMBuffer> AnalyzerInputQueue::tryNext()
{
    std::lock_guard lock(mutex_);
    if (cancelled_ || items_.empty())
        return std::nullopt;
    auto item = std::move(items_.front());
    items_.pop_front();
    return item;
}

void AnalyzerInputQueue::cancel()
{
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        items_.clear();
    }
    ready_.notify_all();
}

bool AnalyzerInputQueue::isFinished() const
{
    std::lock_guard lock(mutex_);
    return (finished_ && items_.empty()) || cancelled_;
}

std::size_t AnalyzerInputQueue::size() const
{
    std::lock_guard lock(mutex_);
    return items_.size();
}

} // namespace quorvia::platform
