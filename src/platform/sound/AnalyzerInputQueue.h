#pragma once

#include "platform/sound/PCMBuffer.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace quorvia::platform {

// The speech analyser's input: a thread-safe queue that keeps only the newest
// items, so a slow reader costs bounded memory. One writer end, one reader end.
class AnalyzerInputQueue {
public:
    enum class YieldResult { enqueued, dropped, terminated };

    explicit AnalyzerInputQueue(std::size_t newest) : limit_(newest) {}

    // Writer: a full queue pushes out its oldest item (dropped).
    YieldResult yield(PCMBuffer buffer);
    // Writer: the reader sees the end after the items already queued.
    void finish();

    // Reader: blocks until an item arrives or the queue has ended (nothing).
    std::optional<PCMBuffer> next();
    // Reader: never blocks; nothing when empty.
    std::optional<PCMBuffer> tryNext();
    // Reader: gives up; the writer's later items are refused and next() ends.
    void cancel();

    bool isFinished() const;
    std::size_t size() const;

private:
    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<PCMBuffer> items_;
    bool finished_ = false;
    bool cancelled_ = false;
};

} // namespace quorvia::platform
