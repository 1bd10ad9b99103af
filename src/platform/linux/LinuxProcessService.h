#pragma once

#include "platform/ProcessService.h"

#include <QString>

#include <map>
#include <memory>

namespace quorvia::platform {
class Timer;
}

namespace quorvia::platform::native {

// The thermal state from the kernel's thermal zones, measured against each
// zone's own trip points; activities that keep the display awake by resetting
// the X server's idle timer while any is held.
class LinuxProcessService final : public ProcessService {
public:
    explicit LinuxProcessService(QString thermalRoot = QStringLiteral("/sys/class/thermal"));
    ~LinuxProcessService() override;

    qint64 processIdentifier() const override;
    ThermalState thermalState() const override;
    ActivityToken beginActivity(ActivityOptions options, const QString& reason) override;
    void endActivity(ActivityToken token) override;

    // One zone's reading against its trip points (millidegrees).
    static ThermalState classify(int temperature, const std::map<QString, int>& tripPoints);

private:
    void keepAwake();

    QString thermalRoot_;
    std::map<std::uint64_t, ActivityOptions> activities_;
    std::uint64_t nextToken_ = 1;
    std::unique_ptr<Timer> keepAwakeTimer_;
};

} // namespace quorvia::platform::native
