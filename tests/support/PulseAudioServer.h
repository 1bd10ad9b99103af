#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace quorvia::test {

// A private sound server for one test: its own runtime folder, no user
// session, only the modules the test asks for. Stopped when destroyed.
class PulseAudioServer {
public:
    // Each module is a line as `pactl load-module` takes it, e.g. "module-null-sink sink_name=a".
    explicit PulseAudioServer(const QStringList& modules);
    ~PulseAudioServer();

    static bool isInstalled();
    bool isRunning() const { return running_; }
    // "unix:<socket>", for libpulse and the PULSE_SERVER of tools.
    QString address() const;
    QString folder() const { return dir_.path(); }
    // The environment for pactl and parec so they reach this server only.
    QProcessEnvironment environment() const;
    // Runs pactl with the arguments and gives its trimmed output.
    QString pactl(const QStringList& arguments) const;

    // Faults of a real server: killed at once (SIGKILL), started again on the
    // same socket with the same modules, stopped (SIGSTOP) and continued.
    void kill();
    bool restart();
    void pause();
    void resume();

private:
    bool launch();

    QTemporaryDir dir_;
    QStringList arguments_;
    std::unique_ptr<QProcess> process_;
    bool running_ = false;
    bool paused_ = false;
};

} // namespace quorvia::test
