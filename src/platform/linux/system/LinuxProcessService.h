#pragma once

#include "platform/system/ProcessService.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace quorvia::platform {
class Timer;
}

namespace quorvia::platform::native {

class ScreenSaverInhibitor;

// The thermal state from the kernel's thermal zones, measured against each
// zone's own trip points; activities that keep the display awake through the
// desktop's screen-saver inhibit on the session bus while any is held, or by
// resetting the X server's idle timer where no inhibit service answers.
class LinuxProcessService final : public ProcessService {
public:
    // The session bus is connected to on the first activity, not at start.
    explicit LinuxProcessService(QString thermalRoot = QStringLiteral("/sys/class/thermal"));
    LinuxProcessService(QString thermalRoot, QDBusConnection bus);
    // Ends the inhibit, as does the application's quit.
    ~LinuxProcessService() override;

    qint64 processIdentifier() const override;
    ThermalState thermalState() const override;
    ActivityToken beginActivity(ActivityOptions options, const QString& reason) override;
    void endActivity(ActivityToken token) override;

    // One zone's reading against its trip points (millidegrees).
    static ThermalState classify(int temperature, const std::map<QString, int>& tripPoints);

    // The fallback is running: no inhibit service answered.
    bool keepsAwakeByIdleReset() const { return keepAwakeTimer_ != nullptr; }

private:
    LinuxProcessService(QString thermalRoot, std::function<QDBusConnection()> bus);
    void keepAwake();
    void startIdleReset();

    QString thermalRoot_;
    std::map<std::uint64_t, ActivityOptions> activities_;
    std::uint64_t nextToken_ = 1;
    std::unique_ptr<Timer> keepAwakeTimer_;
    std::unique_ptr<ScreenSaverInhibitor> inhibitor_;
    std::unique_ptr<QObject> quitWatch_;
};

} // namespace quorvia::platform::native
