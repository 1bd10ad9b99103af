#include "platform/sound/AnalyzerInputQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace quorvia {
namespace {

using platform::PCMBuffer;

// One frame holding the value, which tells the buffers apart.
PCMBuffer sample(float value)
{
    auto buffer = *PCMBuffer::make({16000, 1}, 1);
    buffer.setFrameLength(1);
    buffer.channelData(0)[0] = value;
    return buffer;
}

TEST(AnalyzerInputQueue, KeepsTheNewestAndEndsAfterClose)
{
    platform::AnalyzerInputQueue queue(24);
    for (int i = 0; i < 30; ++i) {
        const auto outcome = queue.yield(sample(float(i)));
        EXPECT_EQ(outcome, i < 24 ? platform::AnalyzerInputQueue::YieldResult::enqueued
                                  : platform::AnalyzerInputQueue::YieldResult::dropped);
    }
    queue.finish();
    EXPECT_EQ(queue.yield(sample(0)), platform::AnalyzerInputQueue::YieldResult::terminated);
    std::vector<float> seen;
    std::thread reader([&] {
        while (auto item = queue.next())
            seen.push_back(item->channelData(0)[0]);
    });
    reader.join();
    ASSERT_EQ(seen.size(), 24u);
    EXPECT_EQ(seen.front(), 6.0f);
    EXPECT_EQ(seen.back(), 29.0f);
    EXPECT_TRUE(queue.isFinished());

    // A blocked reader wakes at the end.
    platform::AnalyzerInputQueue waiting(24);
    std::thread blocked([&] { EXPECT_FALSE(waiting.next()); });
    waiting.finish();
    blocked.join();
}

} // namespace
} // namespace quorvia
