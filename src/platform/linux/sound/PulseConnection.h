#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;

namespace quorvia::platform::native {

// One connection to the sound server on its own event thread, which lives as
// long as this object so that streams of a lost server can still be released
// safely. Never starts a server; a lost connection is made again on the next
// use. No wait lasts longer than the answer bound: a server that does not
// answer in time counts as stalled, and later waits give up at once until it
// answers again. A server that is not there is looked for again after a pause
// that grows, or at once when a socket where it would listen appears anew.
class PulseConnection {
public:
    static constexpr double defaultAnswerBound = 0.5; // seconds
    // The pause after a failed connection: doubled at each failure up to the longest.
    static constexpr double firstRetryPause = 1.0;
    static constexpr double longestRetryPause = 30.0;
    using Clock = std::function<double()>; // monotonic seconds

    // An empty address means the user's server as libpulse finds it.
    explicit PulseConnection(QString serverAddress, double answerBound = defaultAnswerBound, Clock clock = {});
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the event thread's lock; every libpulse call and every member
    // below happens under it. Never taken inside a libpulse callback.
    class Lock {
    public:
        explicit Lock(PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        PulseConnection& connection_;
    };

    // Connects if needed; false when no server is ready (gone, or stalled).
    bool ensureConnected();
    // True while a request went unanswered within the bound and the server
    // has not shown life since.
    bool isStalled() const { return stalled_; }
    pa_context* context() const { return context_; }
    bool contextGood() const;
    // Waits until done() holds, the connection drops or the bound passes;
    // gives done().
    bool waitUntil(const std::function<bool()>& done);
    // Waits for the operation as waitUntil does, then releases it, cancelled
    // when it had not ended; true when it ended.
    bool await(pa_operation* operation);
    // From callbacks, to wake a waiter.
    void signal();
    // How many times a connection has been begun.
    int connectionAttempts() const { return attempts_; }

private:
    void dropContext();
    void probe();
    bool connect();
    // Whether a connection may be tried now, after a failed one.
    bool mayTryAgain();
    // What can be seen cheaply of the sockets a server would listen on.
    QByteArray socketsNow() const;

    QString serverAddress_;
    double answerBound_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool stalled_ = false;
    bool probing_ = false;
    Clock clock_;
    int attempts_ = 0;
    double pause_ = 0; // 0 while the last connection did not fail
    double retryAt_ = 0;
    QByteArray socketsAtFailure_;
};

} // namespace quorvia::platform::native
