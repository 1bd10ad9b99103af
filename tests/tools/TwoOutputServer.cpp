// Starts the two-output test X server for a whole test run (scripts/test):
// prints its display on the first line of standard output, then keeps it
// until SIGTERM or SIGINT. On failure, says why and exits 1.
#include "support/TwoOutputXServer.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    sigprocmask(SIG_BLOCK, &stopping, nullptr);

    quorvia::test::TwoOutputXServer server;
    if (server.name().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.failure()));
        return 1;
    }
    std::printf("%s\n", qPrintable(server.name()));
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopping, &signal);
    return 0;
}
