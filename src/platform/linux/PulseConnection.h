#pragma once

#include <QString>

#include <functional>
#include <mutex>

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;

namespace quorvia::platform::native {

// One connection to the sound server on its own event thread. Never starts a
// server; a lost connection is made again on the next use.
class PulseConnection {
public:
    // An empty address means the user's server as libpulse finds it.
    explicit PulseConnection(QString serverAddress);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects if needed; false when no server answers.
    bool ensureConnected();

    // Holds the event thread's lock; every libpulse call happens under it.
    class Lock {
    public:
        explicit Lock(PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        PulseConnection& connection_;
    };

    pa_context* context() const { return context_; }
    pa_threaded_mainloop* loop() const { return loop_; }
    bool contextGood() const;
    // Under the lock: waits until the operation ends or the connection drops, then releases it.
    void await(pa_operation* operation);
    // Under the lock: waits until done() holds or the connection drops.
    void waitUntil(const std::function<bool()>& done);
    // From callbacks, to wake a waiter.
    void signal();

private:
    void disconnect();
    QString serverAddress_;
    std::mutex connecting_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

} // namespace quorvia::platform::native
