#include "prompter/AutoScrollController.h"

#include "platform/core/NotificationCenter.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorvia;

namespace {

const QString key = AutoScrollPreferences::speedKey;

class AutoScrollControllerTest : public ::testing::Test {
protected:
    std::unique_ptr<AutoScrollController> make()
    {
        auto controller = std::make_unique<AutoScrollController>(std::make_unique<AutoScrollPreferences>(env.defaults()));
        observation = platform::NotificationCenter::defaultCenter().observe(
            AutoScrollController::stateChangedNotification, controller.get(), [this](const auto&) { ++posts; });
        controller->onAdvance = [this](double dt) { advances.push_back(dt); };
        return controller;
    }

    double advancedTotal() const
    {
        double sum = 0;
        for (double dt : advances)
            sum += dt;
        return sum;
    }

    test::TestPlatform env;
    platform::Observation observation;
    int posts = 0;
    std::vector<double> advances;
};

} // namespace

TEST_F(AutoScrollControllerTest, StoredSpeedsReadClampedOrDefault)
{
    struct Row {
        std::optional<QVariant> stored;
        int speed;
    };
    const std::vector<Row> rows = {
        {std::nullopt, 260},
        {QVariant(0), 100},
        {QVariant(5000), 800},
        {QVariant(265), 265},
        {QVariant(300.9), 300},
        {QVariant("fast"), 100},
        {QVariant("420"), 420},
        {QVariant(1e300), 800},
        {QVariant(-1e300), 100},
        {QVariant(std::numeric_limits<double>::quiet_NaN()), 260},
        {QVariant(std::numeric_limits<double>::infinity()), 260},
    };
    for (const auto& row : rows) {
        test::MemoryDefaults defaults;
        if (row.stored)
            defaults.setValue(key, *row.stored);
        AutoScrollPreferences preferences(defaults);
        EXPECT_EQ(preferences.charactersPerMinute(), row.speed) << (row.stored ? row.stored->toString().toStdString() : "absent");
    }
}

TEST_F(AutoScrollControllerTest, SpeedStepsClampAndOnlyRealChangesWriteAndPost)
{
    env.defaults().setValue(key, 5000);
    auto controller = make();
    EXPECT_EQ(controller->charactersPerMinute(), 800);
    EXPECT_FALSE(controller->canIncreaseSpeed());
    const int writes = env.defaults().writeCount();
    controller->increaseSpeed();
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(env.defaults().writeCount(), writes);
    EXPECT_EQ(env.defaults().value(key)->toInt(), 5000);

    controller->decreaseSpeed();
    EXPECT_EQ(controller->speedText(), u"780 字/分"_qs);
    EXPECT_EQ(env.defaults().integer(key), 780);
    EXPECT_EQ(posts, 1);

    controller->setSpeed(-40);
    EXPECT_EQ(controller->charactersPerMinute(), 100);
    EXPECT_FALSE(controller->canDecreaseSpeed());
    EXPECT_TRUE(controller->canIncreaseSpeed());
    EXPECT_EQ(posts, 2);

    env.defaults().setValue(key, 265);
    auto offGrid = make();
    offGrid->increaseSpeed();
    EXPECT_EQ(offGrid->charactersPerMinute(), 285);
}

TEST_F(AutoScrollControllerTest, TicksReportElapsedSecondsWhileRunning)
{
    auto controller = make();
    controller->start();
    controller->start();
    EXPECT_EQ(posts, 1);
    EXPECT_TRUE(controller->isRunning());

    env.scheduler().advance(1.0);
    EXPECT_EQ(advances.size(), 60u);
    EXPECT_NEAR(advancedTotal(), 1.0, 1e-9);

    controller->pause();
    controller->pause();
    EXPECT_EQ(posts, 2);
    env.scheduler().advance(1.0);
    EXPECT_EQ(advances.size(), 60u);
}

TEST_F(AutoScrollControllerTest, LongGapsAdvanceNothingAndRestartMeasuresFromTheNewStart)
{
    auto controller = make();
    controller->start();
    // A main thread blocked for exactly 0.5 s before the first tick: that time is dropped.
    env.scheduler().stall(0.5);
    env.scheduler().runPending();
    EXPECT_TRUE(advances.empty());
    env.scheduler().advance(1.0 / 60.0);
    ASSERT_EQ(advances.size(), 1u);
    EXPECT_NEAR(advances.back(), 1.0 / 60.0, 1e-9);
    env.scheduler().stall(0.49);
    env.scheduler().runPending();
    ASSERT_EQ(advances.size(), 2u);
    EXPECT_NEAR(advances.back(), 0.49, 1e-9);

    controller->pause();
    env.scheduler().advance(0.3);
    advances.clear();
    controller->start();
    env.scheduler().advance(1.0 / 60.0);
    ASSERT_EQ(advances.size(), 1u);
    EXPECT_NEAR(advances[0], 1.0 / 60.0, 1e-9);
}

TEST_F(AutoScrollControllerTest, AdvanceMayPauseAndDestroyingStopsTheClock)
{
    auto controller = make();
    controller->onAdvance = [&](double) {
        advances.push_back(0);
        controller->pause();
    };
    controller->start();
    env.scheduler().advance(0.1);
    EXPECT_EQ(advances.size(), 1u);
    EXPECT_FALSE(controller->isRunning());

    controller->start();
    controller.reset();
    env.scheduler().advance(0.1);
    EXPECT_EQ(advances.size(), 1u);
}
