#pragma once

#include "privacy/CaptureFrameSignal.h"
#include "privacy/CaptureHealthDecision.h"

#include <optional>

namespace quorvia {

// The clock of frame arrivals. Times are uptime seconds passed in by the caller.
struct CaptureHeartbeat {
    static constexpr double callbackTimeout = 4.0;
    static constexpr double suspensionGrace = 3.0;

    std::optional<double> lastCallbackUptime;
    std::optional<double> suspendedSinceUptime;

    void begin(double uptime);
    CaptureHealthDecision observe(CaptureFrameSignal signal, double uptime);
    CaptureHealthDecision check(double uptime) const;

    friend bool operator==(const CaptureHeartbeat&, const CaptureHeartbeat&) = default;
};

} // namespace quorvia
