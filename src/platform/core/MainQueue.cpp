#include "platform/core/MainQueue.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace quorvia::platform {

double uptime() { return current().scheduler().now(); }

QDateTime currentDate() { return current().scheduler().currentDate(); }

struct DelayedCall::State {
    Scheduler::TimerId id = 0;
    bool done = false;
};

void DelayedCall::cancel()
{
    if (state_ && !state_->done) {
        state_->done = true;
        current().scheduler().cancel(state_->id);
    }
}

bool DelayedCall::isScheduled() const { return state_ && !state_->done; }

void MainQueue::async(std::function<void()> work) { current().scheduler().post(std::move(work)); }

DelayedCall MainQueue::asyncAfter(double delaySeconds, std::function<void()> work)
{
    DelayedCall call;
    call.state_ = std::make_shared<DelayedCall::State>();
    auto keep = call.state_;
    call.state_->id = current().scheduler().schedule(delaySeconds, [keep, work = std::move(work)] {
        if (keep->done)
            return;
        keep->done = true;
        work();
    });
    return call;
}

bool MainQueue::isMainThread() { return current().scheduler().isMainThread(); }

struct Timer::State {
    double interval = 0;
    bool repeats = false;
    bool valid = true;
    Scheduler::TimerId pending = 0;
    // When the pending fire is due, in uptime seconds.
    double deadline = 0;
    std::function<void()> fire;
};


Timer::Timer(double intervalSeconds, bool repeats, std::function<void()> fire)
    : state_(std::make_shared<State>()), interval_(intervalSeconds)
{
    state_->interval = intervalSeconds;
    state_->repeats = repeats;
    state_->fire = std::move(fire);

    // The scheduled closure holds the state weakly so a destroyed timer stops.
    // A repeating timer keeps to its own deadlines: a late fire shortens the
    // next wait, and deadlines missed altogether are skipped, never caught up.
    struct Arm {
        static void next(const std::shared_ptr<State>& state, double delay)
        {
            std::weak_ptr<State> weak = state;
            auto& scheduler = current().scheduler();
            state->deadline = scheduler.now() + delay;
            state->pending = scheduler.schedule(delay, [weak] {
                auto s = weak.lock();
                if (!s || !s->valid)
                    return;
                s->pending = 0;
                if (s->repeats) {
                    // A clock of whole milliseconds may also fire a little early.
                    const double late = current().scheduler().now() - s->deadline;
                    const double wait = late < 0 ? s->interval - late
                                                 : s->interval - std::fmod(late, std::max(s->interval, 1e-9));
                    next(s, std::max(0.0, wait));
                } else {
                    s->valid = false;
                }
                auto fire = s->fire; // the callback may destroy the timer
                if (fire)
                    fire();
            });
        }
    };
    Arm::next(state_, intervalSeconds);
}

Timer::Timer(Timer&& other) noexcept : state_(std::move(other.state_)), interval_(other.interval_) {}

Timer& Timer::operator=(Timer&& other) noexcept
{
    if (this != &other) {
        invalidate();
        state_ = std::move(other.state_);
        interval_ = other.interval_;
    }
    return *this;
}

Timer::~Timer() { invalidate(); }

std::unique_ptr<Timer> Timer::scheduled(double intervalSeconds, bool repeats, std::function<void()> fire)
{
    return std::make_unique<Timer>(intervalSeconds, repeats, std::move(fire));
}

void Timer::invalidate()
{
    if (!state_)
        return;
    if (state_->valid) {
        state_->valid = false;
        if (state_->pending != 0 && hasCurrent())
            current().scheduler().cancel(state_->pending);
        state_->pending = 0;
    }
    state_->fire = nullptr;
    state_.reset();
}

bool Timer::isValid() const { return state_ && state_->valid; }

SerialQueue::SerialQueue(const QString& label) : queue_(current().scheduler().makeSerialQueue(label)) {}

QString SerialQueue::label() const { return queue_->label(); }

void SerialQueue::async(std::function<void()> work) const { queue_->async(std::move(work)); }

WorkQueue& globalQueue() { return current().scheduler().globalQueue(); }

} // namespace quorvia::platform
