#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace quorvia::test {

// When every wait of this process ends. Under ctest each test runs in a
// process of its own, killed at its limit, which TestMain takes from
// --timeout=<seconds>. Waits end a quarter of it before, however many the
// test makes: one that fails then reports its own line, not ctest's
// "Timeout", and the test has time left to tear down.
inline QDeadlineTimer waitsEnd = QDeadlineTimer(QDeadlineTimer::Forever);

// Runs the event loop until done() holds. The default deadline is one only a
// hang reaches, so a loaded machine never changes the verdict. Between events
// it sleeps, waking at least every `pollMs` to ask again: a condition that
// asks an X server or starts a tool is not asked thousands of times a second.
// done() is asked once each time round, so it may change what it looks at.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 60000, int pollMs = 10)
{
    const QDeadlineTimer deadline = std::min(QDeadlineTimer(timeoutMs), waitsEnd);
    QTimer wake;
    wake.start(pollMs);
    bool held = done();
    while (!held && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        held = done();
    }
    return held;
}

// Runs the event loop for `ms`, for what may still arrive.
inline void runEventsFor(int ms)
{
    waitUntil([] { return false; }, ms);
}

} // namespace quorvia::test
