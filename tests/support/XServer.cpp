#include "support/XServer.h"

#include "support/DisplayServerProcess.h"

#include <memory>

namespace quorvia::test {

QString XServer::display()
{
    const QByteArray exported = qgetenv(environmentVariable);
    if (!exported.isEmpty())
        return QString::fromLocal8Bit(exported);
    // Destroyed at exit, which stops the server.
    static const auto own = std::make_unique<XServer>();
    return own->name();
}

XServer::XServer(const std::vector<std::string>& arguments)
{
    std::vector<std::string> command{"Xvfb", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto server = DisplayServerProcess::start(command);
    name_ = server.display;
    pid_ = server.pid;
}

XServer::~XServer() { DisplayServerProcess::stop(pid_); }

} // namespace quorvia::test
