#include "platform/linux/system/LinuxWorkspace.h"

#include "platform/files/FileDescriptor.h"
#include "platform/core/MainQueue.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>

#include <cerrno>
#include <chrono>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvia::platform::native {

void LinuxWorkspace::openDocument(const QString&, const QString&, std::function<void(bool, const QString&)> completion)
{
    // The applications the system asks for are never installed here.
    MainQueue::async([completion = std::move(completion)] {
        if (completion)
            completion(false, QStringLiteral("未安装可以打开该文稿的应用"));
    });
}

std::optional<QByteArray> LinuxWorkspace::runBriefly(const QString& program, const QStringList& arguments, double seconds)
{
    auto ends = makePipe();
    if (!ends)
        return std::nullopt;
    const FileDescriptor out = std::move(ends->reading);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, ends->writing.get(), 1);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawnattr_init(&attributes);
    // A group of its own, so that whatever it starts ends with it.
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words{path};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    ends->writing.reset();
    if (spawned != 0)
        return std::nullopt;

    QByteArray output;
    bool exited = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pollfd reading{out.get(), POLLIN, 0};
    bool open = true;
    while (!exited && std::chrono::steady_clock::now() < deadline) {
        if (open && ::poll(&reading, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(out.get(), buffer, sizeof buffer);
            if (n > 0 && output.size() < 65536)
                output.append(buffer, n);
            open = n != 0 && !(n < 0 && errno != EINTR && errno != EAGAIN);
        } else if (!open) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // Seen, not reaped: the group keeps its number until it is ended below.
        siginfo_t info{};
        exited = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
    }
    // What it wrote just before it ended; a child it left may hold the pipe open.
    ::fcntl(out.get(), F_SETFL, O_NONBLOCK);
    for (char buffer[4096]; open && output.size() < 65536;) {
        const ssize_t n = ::read(out.get(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, n);
    }
    ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!exited || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

namespace {

// Whether the desktop registered a handler for settings links.
bool desktopOpensSettingsLinks()
{
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty())
        return false;
    const auto answer = LinuxWorkspace::runBriefly(
        mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/settings")},
        LinuxWorkspace::queryDeadlineSeconds);
    return answer && !answer->trimmed().isEmpty();
}

bool startDisplaySettings()
{
    struct Tool {
        const char* program;
        QStringList arguments;
    };
    // The desktop's own settings first, then the stand-alone RandR tools.
    const Tool tools[] = {
        {"gnome-control-center", {QStringLiteral("display")}},
        {"systemsettings", {QStringLiteral("kcm_kscreen")}},
        {"kcmshell6", {QStringLiteral("kcm_kscreen")}},
        {"kcmshell5", {QStringLiteral("kcm_kscreen")}},
        {"xfce4-display-settings", {}},
        {"cinnamon-settings", {QStringLiteral("display")}},
        {"mate-display-properties", {}},
        {"lxqt-config-monitor", {}},
        {"xdg-open", {QStringLiteral("settings://display")}},
        {"lxrandr", {}},
        {"arandr", {}},
    };
    for (const auto& tool : tools) {
        const QString program = QString::fromLatin1(tool.program);
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            continue;
        if (program == QLatin1String("xdg-open") && !desktopOpensSettingsLinks())
            continue;
        if (QProcess::startDetached(path, tool.arguments))
            return true;
    }
    return false;
}

} // namespace

void LinuxWorkspace::openDisplaySettings(std::function<void(bool)> completion)
{
    QThreadPool::globalInstance()->start([completion = std::move(completion)]() mutable {
        const bool opened = startDisplaySettings();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [completion = std::move(completion), opened] {
                if (completion)
                    completion(opened);
            },
            Qt::QueuedConnection);
    });
}

} // namespace quorvia::platform::native
