#include "app/AppDelegate.h"
#include "app/ApplicationAppearance.h"
#include "model/ProjectDocumentStore.h"
#include "model/PromptScript.h"
#include "platform/application/ApplicationIcon.h"
#include "platform/settings/DefaultsStore.h"
#include "platform/core/MainQueue.h"
#include "platform/Platform.h"
#include "platform/files/TreeRemoval.h"
#include "platform/linux/application/LinuxApplicationShell.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/application/RefusalPanel.h"
#include "platform/linux/application/SingleInstanceGuard.h"

#include <QApplication>

#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    using namespace quorvia;

    platform::native::LinuxApplicationShell::markInheritedDescriptorsCloseOnExec();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvia"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVIA_VERSION));
    // The desktop entry is installed by this name, so the desktop pairs windows with it.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvia"));
    QApplication::setQuitOnLastWindowClosed(false);
    ApplicationAppearance::apply(app);
    QApplication::setWindowIcon(platform::applicationIcon());

    // A second launch only asks the running instance to reopen; one that may
    // not run never opens the store, and says why where the speaker looks.
    using platform::native::LinuxApplicationShell;
    using Outcome = platform::native::SingleInstanceGuard::Outcome;
    platform::native::SingleInstanceGuard guard;
    if (const auto claim = guard.claim(); claim.outcome != Outcome::primary) {
        if (claim.outcome == Outcome::handedOver)
            return 0;
        // Drawn nowhere, it would only hold the launch forever.
        if (!LinuxApplicationShell::drawsNowhere()) {
            platform::native::installWindowPlatform();
            platform::native::RefusalPanel(claim.reason).run();
        }
        return 1;
    }

    auto shell = std::make_shared<LinuxApplicationShell>();
    guard.onReopen = [shell] {
        if (shell->onReopen)
            shell->onReopen();
    };
    guard.isQuitting = [shell] { return shell->isQuitting(); };
    // Both stores ask the locks before every write: a launch that began
    // without them takes them before its first.
    platform::native::installLinuxPlatform(guard.writeGate());
    platform::current().applicationService = shell;

    // Document copies an earlier run was stopped in the middle of go, before
    // any new one begins, and so do an import's never said done whose
    // projects were never stored, judged only by the settings it stored into,
    // in their own folder with their own identity, read whole; the store
    // writes only under the data folder's lock.
    const auto storedDocuments = [](const QString& settings, const QString& identity) {
        return PromptScript::storedDocumentPaths(platform::current().defaults(), settings, identity);
    };
    for (const std::filesystem::path& left : ProjectDocumentStore::discardInterruptedCopies(std::nullopt, storedDocuments))
        platform::globalQueue().async([left] {
            platform::removeTree(left);
        });

    // SIGTERM and SIGINT quit through the delegate and wait for no one to answer anything.
    shell->quitOnTerminationSignals();

    int status = 0;
    double deadline = 0;
    {
        AppDelegate delegate(*shell);
        platform::MainQueue::async([&delegate] { delegate.applicationDidFinishLaunching(); });
        // Reopens are taken once the start is done, or from any loop it waits in:
        // until then a later launch waits for this one to listen, not to answer.
        platform::MainQueue::async([&guard] { guard.listen(); });
        status = app.exec();
        deadline = delegate.terminationDeadline();
        // A later launch now waits for this one to end, and runs.
        guard.stopListening();
        // Every way out of the event loop, SIGTERM included, ends here: nothing saved may stay in memory.
        // A failure the quit already said is not said twice.
        if (const auto failure = platform::current().defaults().flush(); failure && !delegate.quitWriteFailureSaid())
            std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Quorvia：%1").arg(AppDelegate::quitWriteFailureDetail(*failure))));
    }
    // An export, import or document copy still running may finish while the
    // store and the platform it reaches still stand; what it hands back never
    // runs. One still running at the quit's deadline is cut off as a kill cuts
    // it, which the store and the backups survive: the process ends with
    // nothing torn down under it, the settings already written.
    if (!platform::current().scheduler().finishGlobalWork(deadline - platform::uptime())) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    // Everything of Qt's goes while the application lives: left to the exit
    // handlers, the status icon is destroyed after it and takes the process down.
    guard.onReopen = nullptr;
    guard.isQuitting = nullptr;
    shell.reset();
    // The store's last write still asks the gate, so it goes before the set.
    platform::current().defaultsService.reset();
    platform::install(nullptr);
    return status;
}
