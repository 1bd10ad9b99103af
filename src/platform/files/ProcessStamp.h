#pragma once

#include <QString>

#include <optional>

namespace quorvia::platform {

// Tells one running process from every other, on this machine and beyond,
// so what it leaves on a shared drive can later be judged abandoned or not.
struct ProcessStamp {
    QString machine;           // the machine's id, with its host name
    QString boot;              // the kernel's id of the current boot
    qint64 pid = 0;
    quint64 started = 0;       // clock ticks since boot when the process began
    quint64 pidNamespace = 0;  // pids are only comparable within one

    // This process; nothing when the kernel will not say who it is.
    static std::optional<ProcessStamp> ofThisProcess();

    // True only when the process is certainly gone: on this machine, after a
    // reboot or with no process of that pid and start left. A stamp of this
    // boot is of this machine, even when its host name has changed since. A process on
    // another machine, in a pid namespace this one cannot see, or stopped, is
    // not gone.
    bool isGone() const;

    bool operator==(const ProcessStamp&) const = default;
};

// Whether the process `pid` is stopped, by a signal or a debugger: it answers
// nothing until it is continued.
bool isProcessStopped(qint64 pid);

} // namespace quorvia::platform
