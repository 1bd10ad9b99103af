#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <mutex>

namespace quorvia::platform {

struct SpeechTranscriptionResult {
    QString text;
    bool isFinal = false;
    friend bool operator==(const SpeechTranscriptionResult&, const SpeechTranscriptionResult&) = default;
};

// A transcriber's results as a sequence that is read one at a time: the
// recogniser sends, the reader asks for the next event and is answered once,
// at once when one waits or later on the sender's thread. Thread-safe.
class SpeechResultChannel {
public:
    struct Event {
        enum class Kind { result, end, failure };
        Kind kind = Kind::end;
        SpeechTranscriptionResult result;
    };
    using Handler = std::function<void(const Event&)>;

    void send(SpeechTranscriptionResult result);
    // After either, the sequence is over: later sends are dropped.
    void finish();
    void fail();

    // Only one request may wait at a time.
    void next(Handler handler);

private:
    void deliver(Event event);
    std::mutex mutex_;
    std::deque<Event> events_;
    Handler waiting_;
    bool closed_ = false;
};

} // namespace quorvia::platform
