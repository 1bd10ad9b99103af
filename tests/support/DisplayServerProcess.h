#pragma once

#include <QString>

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvia::test {

// Starts an X server that chooses a free display number itself and reports it
// through -displayfd (the caller's arguments come first, the fd option is
// appended). The server dies with the test process, even when it crashes.
struct DisplayServerProcess {
    QString display; // ":N", empty when the server did not start
    pid_t pid = 0;

    static DisplayServerProcess start(const std::vector<std::string>& command);
    static void stop(pid_t pid);
};

} // namespace quorvia::test
