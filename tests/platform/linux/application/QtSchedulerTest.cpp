#include "platform/linux/application/QtScheduler.h"
#include "support/QtPrinting.h"

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
    // Long enough that only a queue that never runs its work gets there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ran < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(ran, 2);
}
