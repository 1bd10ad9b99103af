#include "support/ManualAnimator.h"

namespace quorvia::test {

platform::AnimationId ManualAnimator::start(double durationSeconds, platform::TimingCurve curve,
                                            std::function<void(double)> onStep, std::function<void()> onComplete)
{
    const auto id = nextId_++;
    running_[id] = Running{std::move(onStep), std::move(onComplete)};
    started_.push_back(Started{durationSeconds, curve});
    return id;
}

void ManualAnimator::cancel(platform::AnimationId id) { running_.erase(id); }

bool ManualAnimator::isRunning(platform::AnimationId id) const { return running_.contains(id); }

void ManualAnimator::finishAll()
{
    while (!running_.empty()) {
        auto it = running_.begin();
        Running finished = std::move(it->second);
        running_.erase(it);
        if (finished.onStep)
            finished.onStep(1.0);
        if (finished.onComplete)
            finished.onComplete();
    }
}

} // namespace quorvia::test
