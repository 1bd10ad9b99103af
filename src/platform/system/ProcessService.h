#pragma once

#include <QString>

#include <cstdint>

namespace quorvia::platform {

// Raw values as the platform numbers them; other values may be reported.
enum class ThermalState : int {
    nominal = 0,
    fair = 1,
    serious = 2,
    critical = 3,
};

struct ActivityOptions {
    bool userInitiated = false;
    bool idleDisplaySleepDisabled = false;
    bool idleSystemSleepDisabled = false;
    friend bool operator==(const ActivityOptions&, const ActivityOptions&) = default;
};

// Names a begun activity; 0 names none.
struct ActivityToken {
    std::uint64_t value = 0;
    friend bool operator==(const ActivityToken&, const ActivityToken&) = default;
};

// The application's own process: its id, the system's thermal state and
// activity assertions that keep the display awake.
class ProcessService {
public:
    virtual ~ProcessService() = default;

    virtual qint64 processIdentifier() const = 0;
    virtual ThermalState thermalState() const = 0;
    // Main thread. Every token begun is ended once with endActivity.
    virtual ActivityToken beginActivity(ActivityOptions options, const QString& reason) = 0;
    virtual void endActivity(ActivityToken token) = 0;
};

} // namespace quorvia::platform
