#include "app/AppDelegate.h"
#include "app/ApplicationAppearance.h"
#include "model/ProjectDocumentStore.h"
#include "platform/ApplicationIcon.h"
#include "platform/DefaultsStore.h"
#include "platform/MainQueue.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxApplicationShell.h"
#include "platform/linux/LinuxPlatform.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <filesystem>
#include <cstdio>
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
    using namespace quorvia;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvia"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVIA_VERSION));
    // The desktop entry is installed by this name, so the desktop pairs windows with it.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvia"));
    QApplication::setQuitOnLastWindowClosed(false);
    ApplicationAppearance::apply(app);
    QApplication::setWindowIcon(platform::applicationIcon());

    auto shell = std::make_shared<platform::native::LinuxApplicationShell>();
    // A second launch only asks the running instance to reopen; one that may
    // not run never opens the store.
    using Claim = platform::native::LinuxApplicationShell::Claim;
    if (const Claim claim = shell->claimPrimaryInstance(); claim != Claim::primary)
        return claim == Claim::handedOver ? 0 : 1;

    platform::native::installLinuxPlatform();
    platform::current().applicationService = shell;

    // Document copies an earlier run was stopped in the middle of go, before any new one begins.
    for (const std::filesystem::path& left : ProjectDocumentStore::discardInterruptedCopies())
        platform::globalQueue().async([left] {
            std::error_code ignored;
            std::filesystem::remove_all(left, ignored);
        });

    // SIGTERM and SIGINT quit through the delegate, never mid-turn.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [shell] {
            char byte = 0;
            [[maybe_unused]] auto got = ::read(signalPipe[1], &byte, 1);
            shell->terminate();
        });
        std::signal(SIGTERM, onTerminationSignal);
        std::signal(SIGINT, onTerminationSignal);
    }

    AppDelegate delegate(*shell);
    platform::MainQueue::async([&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = app.exec();
    // Every way out of the event loop, SIGTERM included, ends here: nothing saved may stay in memory.
    if (const auto failure = platform::current().defaults().flush())
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：%1").arg(AppDelegate::quitWriteFailureDetail(*failure))));
    return status;
}
