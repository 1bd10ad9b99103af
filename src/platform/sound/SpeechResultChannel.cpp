#include "platform/sound/SpeechResultChannel.h"

namespace quorvia::platform {

void SpeechResultChannel::deliver(Event event)
{
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        if (event.kind != Event::Kind::result)
            closed_ = true;
        if (!waiting_) {
            events_.push_back(std::move(event));
            return;
        }
        handler = std::exchange(waiting_, nullptr);
    }
    handler(event);
}

void SpeechResultChannel::send(SpeechTranscriptionResult result)
{
    deliver({Event::Kind::result, std::move(result)});
}

void SpeechResultChannel::finish() { deliver({Event::Kind::end, {}}); }

void SpeechResultChannel::fail() { deliver({Event::Kind::failure, {}}); }

void SpeechResultChannel::next(Handler handler)
{
    Event event;
    {
        std::lock_guard lock(mutex_);
        if (events_.empty()) {
            waiting_ = std::move(handler);
            return;
        }
        event = std::move(events_.front());
        events_.pop_front();
    }
    handler(event);
}

} // namespace quorvia::platform
