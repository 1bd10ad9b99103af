#include "platform/core/ClockAnimator.h"

#include <algorithm>
#include <vector>

namespace quorvia::platform {

AnimationId ClockAnimator::start(double durationSeconds, TimingCurve curve, std::function<void(double)> onStep,
                                 std::function<void()> onComplete)
{
    const AnimationId id = nextId_++;
    running_[id] = Running{uptime(), std::max(0.0, durationSeconds), curve, std::move(onStep), std::move(onComplete)};
    if (!frameTimer_)
        frameTimer_ = Timer::scheduled(1.0 / 60.0, true, [this] { tick(); });
    return id;
}

void ClockAnimator::cancel(AnimationId id) { running_.erase(id); }

bool ClockAnimator::isRunning(AnimationId id) const { return running_.contains(id); }

void ClockAnimator::tick()
{
    const double now = uptime();
    std::vector<AnimationId> ids;
    for (const auto& [id, animation] : running_)
        ids.push_back(id);
    // Steps and completions may start or cancel animations, so each id is looked up afresh.
    for (AnimationId id : ids) {
        auto it = running_.find(id);
        if (it == running_.end())
            continue;
        const double t = it->second.duration <= 0 ? 1.0 : std::clamp((now - it->second.startTime) / it->second.duration, 0.0, 1.0);
        if (t < 1.0) {
            if (it->second.onStep)
                it->second.onStep(easedProgress(it->second.curve, t));
            continue;
        }
        Running finished = std::move(it->second);
        running_.erase(it);
        if (finished.onStep)
            finished.onStep(1.0);
        if (finished.onComplete)
            finished.onComplete();
    }
    if (running_.empty())
        frameTimer_.reset();
}

} // namespace quorvia::platform
