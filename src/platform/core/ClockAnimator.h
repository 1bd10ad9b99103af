#pragma once

#include "platform/core/Animator.h"
#include "platform/core/MainQueue.h"

#include <map>
#include <memory>

namespace quorvia::platform {

// Steps animations at 60 Hz on the main run loop's clock.
class ClockAnimator final : public Animator {
public:
    AnimationId start(double durationSeconds, TimingCurve curve, std::function<void(double)> onStep,
                      std::function<void()> onComplete) override;
    void cancel(AnimationId id) override;
    bool isRunning(AnimationId id) const override;

private:
    struct Running {
        double startTime = 0;
        double duration = 0;
        TimingCurve curve = TimingCurve::linear;
        std::function<void(double)> onStep;
        std::function<void()> onComplete;
    };

    void tick();

    std::map<AnimationId, Running> running_;
    std::unique_ptr<Timer> frameTimer_;
    AnimationId nextId_ = 1;
};

} // namespace quorvia::platform
