#include "support/PulseAudioServer.h"

#include "support/EventWait.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>

namespace quorvia::test {

bool PulseAudioServer::isInstalled() { return !QStandardPaths::findExecutable("pulseaudio").isEmpty(); }

PulseAudioServer::PulseAudioServer(const QStringList& modules)
{
    if (!isInstalled() || !dir_.isValid())
        return;
    arguments_ = QStringList{"-n",
                             "--daemonize=no",
                             "--system=no",
                             "--use-pid-file=no",
                             "--exit-idle-time=-1",
                             "--disable-shm=yes",
                             "--log-target=stderr",
                             "--log-level=error",
                             "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir_.path() + "/native"};
    for (const auto& module : modules)
        arguments_ << "--load=" + module;
    running_ = launch();
}

bool PulseAudioServer::launch()
{
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(environment());
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start("pulseaudio", arguments_);
    if (!process_->waitForStarted(60000))
        return false;
    bool answers = false;
    waitUntil([&] {
        return process_->state() != QProcess::Running
            || (answers = QFileInfo::exists(dir_.path() + "/native") && !pactl({"get-default-sink"}).isEmpty());
    }, 60000, 20);
    return answers;
}

PulseAudioServer::~PulseAudioServer()
{
    if (!process_)
        return;
    resume();
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

void PulseAudioServer::kill()
{
    if (!process_)
        return;
    resume();
    process_->kill();
    process_->waitForFinished(60000);
    running_ = false;
}

bool PulseAudioServer::restart()
{
    kill();
    running_ = launch();
    return running_;
}

void PulseAudioServer::pause()
{
    if (process_ && process_->state() == QProcess::Running && !paused_) {
        ::kill(pid_t(process_->processId()), SIGSTOP);
        paused_ = true;
    }
}

void PulseAudioServer::resume()
{
    if (process_ && paused_) {
        ::kill(pid_t(process_->processId()), SIGCONT);
        paused_ = false;
    }
}

QString PulseAudioServer::address() const { return "unix:" + dir_.path() + "/native"; }

QProcessEnvironment PulseAudioServer::environment() const
{
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* key : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "XDG_CONFIG_HOME"})
        env.insert(key, dir_.path());
    env.insert("PULSE_SERVER", address());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    return env;
}

QString PulseAudioServer::pactl(const QStringList& arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start("pactl", arguments);
    if (!tool.waitForFinished(60000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

} // namespace quorvia::test
