#include "platform/files/ProcessStamp.h"

#include "platform/files/BoundedFileRead.h"

#include <QSysInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvia::platform {

namespace {

QString firstLineOf(const QString& path)
{
    const BoundedFileRead read = readBoundedFile(path, 4096);
    return read.ok() ? QString::fromLatin1(read.bytes).section(u'\n', 0, 0).trimmed() : QString();
}

QString machineName()
{
    QString id = firstLineOf(QStringLiteral("/etc/machine-id"));
    if (id.isEmpty())
        id = firstLineOf(QStringLiteral("/var/lib/dbus/machine-id"));
    return id + u'/' + QSysInfo::machineHostName();
}

QString bootId() { return firstLineOf(QStringLiteral("/proc/sys/kernel/random/boot_id")); }

quint64 pidNamespaceOfThisProcess()
{
    struct stat status {};
    return ::stat("/proc/self/ns/pid", &status) == 0 ? quint64(status.st_ino) : 0;
}

// The fields of the process's line in /proc after its name, the state
// first; none when there is no such process.
QList<QByteArray> statusFieldsOf(qint64 pid)
{
    const BoundedFileRead read = readBoundedFile(QStringLiteral("/proc/%1/stat").arg(pid), 4096);
    // The name in parentheses may hold anything; the fields after it do not.
    const qsizetype end = read.ok() ? read.bytes.lastIndexOf(')') : -1;
    return end < 0 ? QList<QByteArray>() : read.bytes.mid(end + 2).split(' ');
}

// When the process `pid` began, in ticks since boot; nothing when there is none.
std::optional<quint64> startOf(qint64 pid)
{
    // State is field 3, start time field 22.
    const QList<QByteArray> fields = statusFieldsOf(pid);
    bool ok = false;
    const quint64 started = fields.size() > 19 ? fields.at(19).toULongLong(&ok) : 0;
    return ok ? std::optional<quint64>(started) : std::nullopt;
}

} // namespace

std::optional<ProcessStamp> ProcessStamp::ofThisProcess()
{
    ProcessStamp stamp{machineName(), bootId(), ::getpid(), 0, pidNamespaceOfThisProcess()};
    const auto started = startOf(stamp.pid);
    if (stamp.boot.isEmpty() || !started || stamp.pidNamespace == 0)
        return std::nullopt;
    stamp.started = *started;
    return stamp;
}

bool ProcessStamp::isGone() const
{
    const auto here = ofThisProcess();
    if (!here)
        return false;
    // A record of this very boot was written on this machine, whatever its
    // host name says now; from another boot, only the machine tells.
    if (boot != here->boot)
        return machine == here->machine;
    if (pidNamespace != here->pidNamespace)
        return false;
    const auto now = startOf(pid);
    return !now || *now != started;
}

bool isProcessStopped(qint64 pid)
{
    const QList<QByteArray> fields = statusFieldsOf(pid);
    // T when stopped by a signal, t when by a debugger.
    return !fields.isEmpty() && (fields.front() == "T" || fields.front() == "t");
}

} // namespace quorvia::platform
