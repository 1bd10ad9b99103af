#include "platform/core/Animator.h"
#include "platform/core/ClockAnimator.h"
#include "platform/desktop/Symbols.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace quorvia;
using platform::TimingCurve;

TEST(AnimatorTest, CurvesStartAndEndExactlyAndStayMonotonic)
{
    for (auto curve : {TimingCurve::linear, TimingCurve::easeIn, TimingCurve::easeOut, TimingCurve::easeInEaseOut}) {
        EXPECT_EQ(platform::easedProgress(curve, 0.0), 0.0);
        EXPECT_EQ(platform::easedProgress(curve, 1.0), 1.0);
        EXPECT_EQ(platform::easedProgress(curve, -3.0), 0.0);
        EXPECT_EQ(platform::easedProgress(curve, std::nan("")), 1.0);
        double previous = 0;
        for (int i = 1; i <= 100; ++i) {
            const double value = platform::easedProgress(curve, i / 100.0);
            EXPECT_GE(value, previous - 1e-9);
            previous = value;
        }
    }
    EXPECT_NEAR(platform::easedProgress(TimingCurve::easeInEaseOut, 0.5), 0.5, 1e-6);
    EXPECT_LT(platform::easedProgress(TimingCurve::easeIn, 0.3), 0.3);
    EXPECT_GT(platform::easedProgress(TimingCurve::easeOut, 0.3), 0.3);
}

TEST(AnimatorTest, ClockAnimatorEndsAtOneOnceAndCancelSkipsCompletion)
{
    test::TestPlatform env;
    platform::ClockAnimator animator;
    std::vector<double> steps;
    int completions = 0;
    const auto id = animator.start(0.2, TimingCurve::easeInEaseOut, [&](double p) { steps.push_back(p); },
                                   [&] { ++completions; });
    int cancelledCompletions = 0;
    const auto cancelled = animator.start(0.2, TimingCurve::linear, nullptr, [&] { ++cancelledCompletions; });
    env.scheduler().advance(0.1);
    EXPECT_TRUE(animator.isRunning(id));
    animator.cancel(cancelled);
    env.scheduler().advance(0.5);
    EXPECT_FALSE(animator.isRunning(id));
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), 1.0);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(cancelledCompletions, 0);
}

TEST(AnimatorTest, ManualAnimatorFinishesChainedAnimations)
{
    test::TestPlatform env;
    auto& animator = platform::current().animator();
    int finished = 0;
    animator.start(0.2, TimingCurve::easeInEaseOut, nullptr, [&] {
        ++finished;
        animator.start(0.22, TimingCurve::linear, nullptr, [&] { ++finished; });
    });
    env.animator().finishAll();
    EXPECT_EQ(finished, 2);
    ASSERT_EQ(env.animator().started().size(), 2u);
    EXPECT_DOUBLE_EQ(env.animator().started()[1].duration, 0.22);
}

TEST(SymbolsTest, KnownSymbolsDrawInTheirColourAndUnknownOnesAreNull)
{
    const QImage image = platform::symbolPixmap(QStringLiteral("minus.circle.fill"), Qt::white, 24).toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(12, 4), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_TRUE(platform::symbolPixmap(QStringLiteral("no.such.symbol"), Qt::white, 24).isNull());
    EXPECT_TRUE(platform::symbolIcon(QStringLiteral("no.such.symbol"), Qt::white).isNull());
}
