#include "support/DisplayServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace quorvia::test {

namespace {
constexpr int startTimeoutMs = 60000;
}

DisplayServerProcess DisplayServerProcess::start(const std::vector<std::string>& command)
{
    int fds[2];
    if (command.empty() || ::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    std::vector<std::string> arguments = command;
    arguments.push_back("-displayfd");
    arguments.push_back(std::to_string(fds[1]));
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // A caller waiting for its own stop signal blocks it; the server must not inherit that.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::fcntl(fds[1], F_SETFD, 0);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
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
        stop(pid);
        return {};
    }
    return {QStringLiteral(":") + QString::fromStdString(number), pid};
}

void DisplayServerProcess::stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

} // namespace quorvia::test
