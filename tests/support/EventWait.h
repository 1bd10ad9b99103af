#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <functional>

namespace quorvia::test {

// Runs the event loop until done() holds. The default deadline is one only a
// hang reaches, so a loaded machine never changes the verdict. Between events
// it sleeps, waking at least every `pollMs` to ask again: a condition that
// asks an X server or starts a tool is not asked thousands of times a second.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 60000, int pollMs = 10)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(pollMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

// Runs the event loop for `ms`, for what may still arrive.
inline void runEventsFor(int ms)
{
    waitUntil([] { return false; }, ms);
}

} // namespace quorvia::test
