#pragma once

#include <cstdint>
#include <functional>

namespace quorvia::platform {

enum class TimingCurve { linear, easeIn, easeOut, easeInEaseOut };

// Eased progress for a linear time fraction t in [0, 1], with the platform's
// standard control points.
double easedProgress(TimingCurve curve, double t);

using AnimationId = std::uint64_t;

// Runs view animations. The application's animator steps them on the main run
// loop; tests install one that finishes them on demand.
class Animator {
public:
    virtual ~Animator() = default;

    // onStep receives the eased progress, ending with exactly 1; onComplete then
    // runs once. A duration of 0 or less completes on the next main-loop turn.
    // Ids are never 0.
    virtual AnimationId start(double durationSeconds, TimingCurve curve, std::function<void(double)> onStep,
                              std::function<void()> onComplete) = 0;
    // Stops it where it stands, without its completion. Unknown ids are ignored.
    virtual void cancel(AnimationId id) = 0;
    virtual bool isRunning(AnimationId id) const = 0;
};

} // namespace quorvia::platform
