#pragma once

#include "platform/core/Animator.h"

#include <map>
#include <vector>

namespace quorvia::test {

// Holds every animation until the test finishes it.
class ManualAnimator final : public platform::Animator {
public:
    struct Started {
        double duration = 0;
        platform::TimingCurve curve = platform::TimingCurve::linear;
    };

    platform::AnimationId start(double durationSeconds, platform::TimingCurve curve, std::function<void(double)> onStep,
                                std::function<void()> onComplete) override;
    void cancel(platform::AnimationId id) override;
    bool isRunning(platform::AnimationId id) const override;

    // Steps every running animation to its end and runs its completion, in the
    // order they started, including animations those completions start.
    void finishAll();
    std::size_t runningCount() const { return running_.size(); }
    // Every animation ever started, in order.
    const std::vector<Started>& started() const { return started_; }

private:
    struct Running {
        std::function<void(double)> onStep;
        std::function<void()> onComplete;
    };
    std::map<platform::AnimationId, Running> running_;
    std::vector<Started> started_;
    platform::AnimationId nextId_ = 1;
};

} // namespace quorvia::test
