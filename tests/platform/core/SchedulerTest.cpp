#include "platform/core/MainQueue.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <thread>

using namespace quorvia;
using namespace quorvia::platform;

class SchedulerTest : public ::testing::Test {
protected:
    test::TestPlatform env;
    test::ManualScheduler& clock = env.scheduler();
};

TEST_F(SchedulerTest, RepeatingTimerFiresOncePerIntervalExactly)
{
    int fired = 0;
    Timer timer(0.5, true, [&] { ++fired; });
    clock.advance(2.0);
    EXPECT_EQ(fired, 4);
    clock.advance(0.49);
    EXPECT_EQ(fired, 4);
    clock.advance(0.01);
    EXPECT_EQ(fired, 5);
}

TEST_F(SchedulerTest, DelayedCallsRunInTimeOrderAtTheirOwnTime)
{
    std::vector<std::pair<int, double>> runs;
    const double start = uptime();
    MainQueue::asyncAfter(1.5, [&] { runs.emplace_back(3, uptime() - start); });
    MainQueue::asyncAfter(0.2, [&] { runs.emplace_back(1, uptime() - start); });
    MainQueue::async([&] { runs.emplace_back(0, uptime() - start); });
    MainQueue::asyncAfter(1.0, [&] {
        runs.emplace_back(2, uptime() - start);
        MainQueue::asyncAfter(0.25, [&] { runs.emplace_back(21, uptime() - start); });
    });
    clock.advance(2.0);
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[0].first, 0);
    EXPECT_NEAR(runs[0].second, 0.0, 1e-9);
    EXPECT_EQ(runs[1].first, 1);
    EXPECT_NEAR(runs[1].second, 0.2, 1e-9);
    EXPECT_EQ(runs[2].first, 2);
    EXPECT_NEAR(runs[2].second, 1.0, 1e-9);
    EXPECT_EQ(runs[3].first, 21);
    EXPECT_NEAR(runs[3].second, 1.25, 1e-9);
    EXPECT_EQ(runs[4].first, 3);
    EXPECT_NEAR(runs[4].second, 1.5, 1e-9);
}

TEST_F(SchedulerTest, AsyncNeverRunsInTheCallersTurn)
{
    bool ran = false;
    MainQueue::async([&] { ran = true; });
    EXPECT_FALSE(ran);
    clock.runPending();
    EXPECT_TRUE(ran);
}

TEST_F(SchedulerTest, CancelledAndDestroyedTimersStaySilent)
{
    int fired = 0;
    auto call = MainQueue::asyncAfter(1.0, [&] { ++fired; });
    call.cancel();
    {
        Timer t(0.1, true, [&] { ++fired; });
    }
    auto oneShot = Timer::scheduled(0.3, false, [&] { ++fired; });
    clock.advance(5.0);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(oneShot->isValid());
}

TEST_F(SchedulerTest, TimerMayInvalidateItselfWhileFiring)
{
    int fired = 0;
    std::unique_ptr<Timer> timer;
    timer = Timer::scheduled(0.5, true, [&] {
        if (++fired == 2)
            timer.reset();
    });
    clock.advance(3.0);
    EXPECT_EQ(fired, 2);
}

TEST_F(SchedulerTest, SerialQueueRunsWhenDrainedAndHopsBack)
{
    SerialQueue queue(QStringLiteral("com.local.quorvia.keynote-probe"));
    std::vector<int> order;
    queue.async([&] {
        order.push_back(1);
        MainQueue::async([&] { order.push_back(3); });
    });
    queue.async([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    clock.drainQueue(QStringLiteral("com.local.quorvia.keynote-probe"));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    clock.runPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(SchedulerTest, PostFromAnotherThreadArrivesOnTheMainQueue)
{
    bool ran = false;
    std::thread worker([&] { MainQueue::async([&] { ran = true; }); });
    worker.join();
    EXPECT_FALSE(ran);
    clock.runPending();
    EXPECT_TRUE(ran);
}

TEST_F(SchedulerTest, CurrentDateMovesWithTheVirtualClock)
{
    const QDateTime start(QDate(2026, 12, 6), QTime(21, 0), Qt::UTC);
    clock.setCurrentDate(start);
    EXPECT_EQ(currentDate(), start);
    clock.advance(90.5);
    EXPECT_EQ(currentDate(), start.addMSecs(90500));
    EXPECT_EQ(currentDate().timeSpec(), Qt::UTC);
}
