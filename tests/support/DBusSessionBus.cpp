#include "support/DBusSessionBus.h"

#include <QFile>

#include <signal.h>
#include <sys/prctl.h>

namespace quorvia::test {

namespace {

constexpr int startTimeoutMs = 60000;
constexpr int stopTimeoutMs = 2000;
constexpr auto addressVariable = "DBUS_SESSION_BUS_ADDRESS";

QByteArray configuration(const QString& folder)
{
    return QByteArrayLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>session</type>\n"
               "  <listen>unix:dir=")
        + folder.toHtmlEscaped().toUtf8()
        + QByteArrayLiteral(
            "</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n");
}

} // namespace

DBusSessionBus::DBusSessionBus()
{
    if (!folder_.isValid())
        return;
    const QString configPath = folder_.filePath(QStringLiteral("session.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) || config.write(configuration(folder_.path())) < 0)
        return;
    config.close();

    // A test that dies must not leave its daemon behind.
    daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.setStandardErrorFile(QProcess::nullDevice());
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(startTimeoutMs))
        return;
    while (!daemon_.canReadLine() && daemon_.state() == QProcess::Running) {
        if (!daemon_.waitForReadyRead(startTimeoutMs))
            break;
    }
    if (!daemon_.canReadLine()) {
        stop();
        return;
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

DBusSessionBus::~DBusSessionBus() { stop(); }

bool DBusSessionBus::isRunning() const
{
    return !address_.isEmpty() && daemon_.state() == QProcess::Running;
}

void DBusSessionBus::exportAddress()
{
    if (address_.isEmpty() || exported_)
        return;
    if (qEnvironmentVariableIsSet(addressVariable))
        previousAddress_ = qgetenv(addressVariable);
    qputenv(addressVariable, address_.toUtf8());
    exported_ = true;
}

void DBusSessionBus::stop()
{
    if (exported_) {
        if (previousAddress_)
            qputenv(addressVariable, *previousAddress_);
        else
            qunsetenv(addressVariable);
        exported_ = false;
    }
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(stopTimeoutMs)) {
            daemon_.kill();
            daemon_.waitForFinished(stopTimeoutMs);
        }
    }
    address_.clear();
}

} // namespace quorvia::test
