#include "platform/linux/LinuxPlatform.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[0], &byte, 1);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvia"));
    QApplication::setQuitOnLastWindowClosed(false);

    quorvia::platform::native::installLinuxPlatform();

    // SIGTERM and SIGINT quit through the event loop, never mid-turn.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char byte = 0;
            [[maybe_unused]] auto got = ::read(signalPipe[1], &byte, 1);
            QApplication::quit();
        });
        std::signal(SIGTERM, onTerminationSignal);
        std::signal(SIGINT, onTerminationSignal);
    }

    return app.exec();
}
