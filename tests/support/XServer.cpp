#include "support/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

namespace quorvia::test {

namespace {

constexpr int startTimeoutMs = 10000;

// Xvfb picks a free display number itself and writes it to the pipe.
std::pair<QString, pid_t> startXvfb()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const std::string displayFd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",        "-displayfd", displayFd.c_str(), "-screen", "0", "1920x1080x24",
                          "-nolisten",   "tcp",        "-noreset",        nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Gone with the test process, even when it crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::fcntl(fds[1], F_SETFD, 0);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp("Xvfb", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return {};
    }
    std::string number;
    pollfd waiting{fds[0], POLLIN, 0};
    while (::poll(&waiting, 1, startTimeoutMs) > 0) {
        char c = 0;
        const ssize_t n = ::read(fds[0], &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        number.push_back(c);
    }
    ::close(fds[0]);
    if (number.empty()) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return {};
    }
    return {QStringLiteral(":") + QString::fromStdString(number), pid};
}

void stopXvfb(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

QString XServer::display()
{
    const QByteArray exported = qgetenv(environmentVariable);
    if (!exported.isEmpty())
        return QString::fromLocal8Bit(exported);
    // Destroyed at exit, which stops the server.
    static const auto own = std::make_unique<XServer>();
    return own->name();
}

XServer::XServer()
{
    auto [name, pid] = startXvfb();
    name_ = name;
    pid_ = pid;
}

XServer::~XServer() { stopXvfb(pid_); }

} // namespace quorvia::test
