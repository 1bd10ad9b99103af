#pragma once

#include "prompter/AutoScrollPreferences.h"

#include "platform/core/MainQueue.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quorvia {

// The fixed-speed clock: while running it reports, 60 times a second, the
// seconds since the previous tick. Main thread only.
class AutoScrollController {
public:
    static inline const QString stateChangedNotification = QStringLiteral("AutoScrollStateChanged");
    static constexpr double tickInterval = 1.0 / 60.0;
    // A longer gap (a blocked main thread, sleep) is dropped so the text never jumps.
    static constexpr double maximumTickGap = 0.5;

    explicit AutoScrollController(std::unique_ptr<AutoScrollPreferences> preferences);
    // Over the platform's standard defaults store.
    AutoScrollController();
    ~AutoScrollController();
    AutoScrollController(const AutoScrollController&) = delete;
    AutoScrollController& operator=(const AutoScrollController&) = delete;

    bool isRunning() const { return isRunning_; }
    int charactersPerMinute() const { return charactersPerMinute_; }

    void start();
    void pause();
    void toggle();
    void setSpeed(int value);
    void increaseSpeed();
    void decreaseSpeed();

    QString speedText() const;
    bool canIncreaseSpeed() const { return charactersPerMinute_ < AutoScrollPreferences::maximumSpeed; }
    bool canDecreaseSpeed() const { return charactersPerMinute_ > AutoScrollPreferences::minimumSpeed; }

    std::function<void(double seconds)> onAdvance;

private:
    void tick();
    void postStateChanged();

    std::unique_ptr<AutoScrollPreferences> preferences_;
    std::unique_ptr<platform::Timer> timer_;
    std::optional<double> lastTick_;
    bool isRunning_ = false;
    int charactersPerMinute_ = AutoScrollPreferences::defaultSpeed;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quorvia
