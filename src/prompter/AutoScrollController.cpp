#include "prompter/AutoScrollController.h"

#include "platform/core/NotificationCenter.h"

namespace quorvia {

AutoScrollController::AutoScrollController(std::unique_ptr<AutoScrollPreferences> preferences)
    : preferences_(std::move(preferences)), charactersPerMinute_(preferences_->charactersPerMinute())
{
}

AutoScrollController::AutoScrollController() : AutoScrollController(std::make_unique<AutoScrollPreferences>()) {}

AutoScrollController::~AutoScrollController()
{
    *alive_ = false;
    if (timer_)
        timer_->invalidate();
}

void AutoScrollController::start()
{
    if (isRunning_)
        return;
    isRunning_ = true;
    lastTick_ = platform::uptime();
    std::weak_ptr<bool> alive = alive_;
    timer_ = platform::Timer::scheduled(tickInterval, true, [this, alive] {
        if (auto a = alive.lock(); a && *a)
            tick();
    });
    postStateChanged();
}

void AutoScrollController::pause()
{
    if (!isRunning_)
        return;
    isRunning_ = false;
    if (timer_)
        timer_->invalidate();
    timer_.reset();
    lastTick_.reset();
    postStateChanged();
}

void AutoScrollController::toggle()
{
    if (isRunning_)
        pause();
    else
        start();
}

void AutoScrollController::tick()
{
    if (!isRunning_)
        return;
    const double now = platform::uptime();
    const double previous = lastTick_.value_or(now);
    const double dt = now - previous;
    lastTick_ = now;
    if (dt > 0 && dt < maximumTickGap && onAdvance)
        onAdvance(dt);
}

void AutoScrollController::setSpeed(int value)
{
    const int c = AutoScrollPreferences::clamp(value);
    if (c == charactersPerMinute_)
        return;
    charactersPerMinute_ = c;
    preferences_->setCharactersPerMinute(c);
    postStateChanged();
}

void AutoScrollController::increaseSpeed() { setSpeed(charactersPerMinute_ + AutoScrollPreferences::speedStep); }

void AutoScrollController::decreaseSpeed() { setSpeed(charactersPerMinute_ - AutoScrollPreferences::speedStep); }

QString AutoScrollController::speedText() const
{
    return QString::number(charactersPerMinute_) + QStringLiteral(" 字/分");
}

void AutoScrollController::postStateChanged()
{
    platform::NotificationCenter::defaultCenter().post(stateChangedNotification, this);
}

} // namespace quorvia
