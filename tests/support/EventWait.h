#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace quorvia::test {

// Runs the event loop until done() holds. The default deadline is one only a
// hang reaches, so a loaded machine never changes the verdict.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 60000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace quorvia::test
