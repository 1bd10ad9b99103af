#include "platform/linux/sound/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>

#include <QFile>
#include <QStringList>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

namespace quorvia::platform::native {

namespace {
struct Deadline {
    PulseConnection* connection;
    bool passed = false;
};
} // namespace

PulseConnection::PulseConnection(QString serverAddress, double answerBound, Clock clock)
    : serverAddress_(std::move(serverAddress)), answerBound_(answerBound), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        };
    loop_ = pa_threaded_mainloop_new();
    if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
}

PulseConnection::~PulseConnection()
{
    if (!loop_)
        return;
    pa_threaded_mainloop_stop(loop_);
    dropContext();
    pa_threaded_mainloop_free(loop_);
}

PulseConnection::Lock::Lock(PulseConnection& connection) : connection_(connection)
{
    if (connection_.loop_)
        pa_threaded_mainloop_lock(connection_.loop_);
}

PulseConnection::Lock::~Lock()
{
    if (connection_.loop_)
        pa_threaded_mainloop_unlock(connection_.loop_);
}

bool PulseConnection::contextGood() const
{
    return context_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

void PulseConnection::signal()
{
    if (loop_)
        pa_threaded_mainloop_signal(loop_, 0);
}

bool PulseConnection::waitUntil(const std::function<bool()>& done)
{
    if (done())
        return true;
    if (!loop_ || !contextGood() || stalled_)
        return false;
    Deadline deadline{this};
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + pa_usec_t(answerBound_ * 1e6),
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
            auto* d = static_cast<Deadline*>(data);
            d->passed = true;
            d->connection->signal();
        },
        &deadline);
    if (!timer)
        return false;
    while (!done() && contextGood() && !deadline.passed)
        pa_threaded_mainloop_wait(loop_);
    pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    if (done())
        return true;
    if (contextGood() && deadline.passed) {
        stalled_ = true;
        probe();
    }
    return false;
}

bool PulseConnection::await(pa_operation* operation)
{
    if (!operation)
        return false;
    waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    const pa_operation_state_t state = pa_operation_get_state(operation);
    if (state == PA_OPERATION_RUNNING)
        pa_operation_cancel(operation); // its reply, if it ever comes, reaches nothing
    pa_operation_unref(operation);
    return state == PA_OPERATION_DONE;
}

void PulseConnection::probe()
{
    if (probing_ || !context_ || pa_context_get_state(context_) != PA_CONTEXT_READY)
        return;
    // Any answer, even a late one, shows the server is back.
    pa_operation* operation = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info*, void* self) {
            auto* connection = static_cast<PulseConnection*>(self);
            connection->probing_ = false;
            connection->stalled_ = false;
            connection->signal();
        },
        this);
    if (!operation)
        return;
    probing_ = true;
    pa_operation_unref(operation);
}

void PulseConnection::dropContext()
{
    stalled_ = false;
    probing_ = false;
    if (!context_)
        return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    // Streams of this context keep it alive until they are released.
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

QByteArray PulseConnection::socketsNow() const
{
    // The sockets libpulse looks for first: the address given, or else the
    // one PULSE_SERVER names and those of the user's and the system's server.
    auto pathOf = [](const QString& address) {
        if (address.startsWith(QLatin1String("unix:")))
            return address.mid(5);
        return address.startsWith(QLatin1Char('/')) ? address : QString();
    };
    QStringList paths;
    QByteArray seen;
    if (!serverAddress_.isEmpty()) {
        paths << pathOf(serverAddress_);
    } else {
        const QString named = qEnvironmentVariable("PULSE_SERVER");
        seen += named.toUtf8();
        paths << pathOf(named);
        if (qEnvironmentVariableIsSet("PULSE_RUNTIME_PATH"))
            paths << qEnvironmentVariable("PULSE_RUNTIME_PATH") + QStringLiteral("/native");
        if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
            paths << qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse/native");
        paths << QStringLiteral("/run/pulse/native") << QStringLiteral("/var/run/pulse/native");
    }
    for (const QString& path : paths) {
        struct stat info {};
        if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) {
            seen += '-';
            continue;
        }
        seen += QByteArray::number(qulonglong(info.st_ino)) + ':' + QByteArray::number(qlonglong(info.st_mtim.tv_sec))
                + '.' + QByteArray::number(qlonglong(info.st_mtim.tv_nsec)) + ';';
    }
    return seen;
}

bool PulseConnection::mayTryAgain()
{
    if (pause_ == 0)
        return true;
    // Not looked for again, reading the client's settings each time, while
    // nothing says it could be there now.
    return clock_() >= retryAt_ || socketsNow() != socketsAtFailure_;
}

bool PulseConnection::ensureConnected()
{
    if (!loop_)
        return false;
    if (context_) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY)
            return !stalled_; // nothing more is asked of a server that has not answered yet
        if (PA_CONTEXT_IS_GOOD(state)) // still connecting
            return waitUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
        dropContext();
    }
    if (!mayTryAgain())
        return false;
    ++attempts_;
    const bool connected = connect();
    if (connected) {
        pause_ = 0;
    } else if (!context_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
        pause_ = pause_ == 0 ? firstRetryPause : std::min(pause_ * 2, longestRetryPause);
        retryAt_ = clock_() + pause_;
        socketsAtFailure_ = socketsNow();
    }
    return connected;
}

bool PulseConnection::connect()
{
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Quorvia");
    if (!context_)
        return false;
    pa_context_set_state_callback(
        context_,
        [](pa_context*, void* self) {
            auto* connection = static_cast<PulseConnection*>(self);
            connection->stalled_ = false;
            connection->signal();
        },
        this);
    const QByteArray address = serverAddress_.toLocal8Bit();
    if (pa_context_connect(context_, address.isEmpty() ? nullptr : address.constData(), PA_CONTEXT_NOAUTOSPAWN,
                           nullptr)
        < 0)
        return false;
    return waitUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
}

} // namespace quorvia::platform::native
