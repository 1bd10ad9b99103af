#include "privacy/CaptureHeartbeat.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {
const CaptureHealthDecision kHealthy = CaptureHealthDecision::healthy();
const CaptureHealthDecision kFreeze = CaptureHealthDecision::freezeLastSafeFrame();
} // namespace

TEST(CaptureHeartbeat, CallbackGapAndSuspensionLimitsAreStrict)
{
    CaptureHeartbeat beat;
    EXPECT_EQ(beat.check(1e9), kHealthy) << "an unstarted clock never times out";
    beat.begin(100.0);
    EXPECT_EQ(beat.check(104.0), kHealthy);
    EXPECT_EQ(beat.check(104.0001), CaptureHealthDecision::failClosed(QStringLiteral("捕获流心跳超时")));

    // A run of suspended frames keeps the time of its first.
    EXPECT_EQ(beat.observe(CaptureFrameSignal::suspended, 104.0), kFreeze);
    EXPECT_EQ(beat.observe(CaptureFrameSignal::suspended, 106.0), kFreeze);
    EXPECT_EQ(beat.check(107.0), kFreeze);
    EXPECT_EQ(beat.check(107.001),
              CaptureHealthDecision::failClosed(QStringLiteral("捕获流持续挂起，无法保证画面安全")));
    beat.begin(200.0); // a new start forgets the suspension
    EXPECT_EQ(beat.check(200.0), kHealthy);

    // A renderable frame between suspensions starts the grace afresh.
    beat.observe(CaptureFrameSignal::suspended, 200.0);
    beat.observe(CaptureFrameSignal::renderable, 202.0);
    beat.observe(CaptureFrameSignal::suspended, 204.0);
    EXPECT_EQ(beat.check(206.5), kFreeze);
}
