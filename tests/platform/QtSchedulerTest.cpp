#include "platform/linux/QtScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using quorvia::platform::native::QtScheduler;

// A queue whose last owner is one of its own tasks ends without joining itself
// and still runs what was queued behind that task.
TEST(QtSchedulerTest, SerialQueueReleasedByItsOwnTaskFinishesItsWork)
{
    QtScheduler scheduler;
    std::atomic<int> ran{0};
    {
        auto queue = scheduler.makeSerialQueue(QStringLiteral("com.local.quorvia.test"));
        auto* raw = queue.get();
        raw->async([&ran, queue = std::move(queue)]() mutable {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            queue.reset();
            ++ran;
        });
        raw->async([&ran] { ++ran; });
    }
    for (int i = 0; i < 500 && ran < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(ran, 2);
}
