#include "platform/linux/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

namespace quorvia::platform::native {

PulseConnection::PulseConnection(QString serverAddress) : serverAddress_(std::move(serverAddress)) {}

PulseConnection::~PulseConnection() { disconnect(); }

PulseConnection::Lock::Lock(PulseConnection& connection) : connection_(connection)
{
    pa_threaded_mainloop_lock(connection_.loop_);
}

PulseConnection::Lock::~Lock() { pa_threaded_mainloop_unlock(connection_.loop_); }

bool PulseConnection::contextGood() const
{
    return context_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

void PulseConnection::signal() { pa_threaded_mainloop_signal(loop_, 0); }

void PulseConnection::waitUntil(const std::function<bool()>& done)
{
    while (!done() && contextGood())
        pa_threaded_mainloop_wait(loop_);
}

void PulseConnection::await(pa_operation* operation)
{
    if (!operation)
        return;
    waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
}

void PulseConnection::disconnect()
{
    if (!loop_)
        return;
    pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

bool PulseConnection::ensureConnected()
{
    std::lock_guard guard(connecting_);
    if (loop_) {
        Lock lock(*this);
        if (pa_context_get_state(context_) == PA_CONTEXT_READY)
            return true;
    }
    disconnect();
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return false;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Quorvia");
    if (!context_ || pa_threaded_mainloop_start(loop_) < 0) {
        disconnect();
        return false;
    }
    bool ready = false;
    {
        Lock lock(*this);
        pa_context_set_state_callback(
            context_, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->signal(); }, this);
        const QByteArray address = serverAddress_.toLocal8Bit();
        if (pa_context_connect(context_, address.isEmpty() ? nullptr : address.constData(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr)
            >= 0) {
            waitUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
            ready = pa_context_get_state(context_) == PA_CONTEXT_READY;
        }
    }
    if (!ready)
        disconnect();
    return ready;
}

} // namespace quorvia::platform::native
