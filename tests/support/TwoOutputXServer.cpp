#include "support/TwoOutputXServer.h"

#include "support/DisplayServerProcess.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

namespace quorvia::test {

namespace {

// No input devices (XTEST still types), no VT switching, no screen saver, a
// frame buffer wide enough for three outputs in a row.
constexpr char configuration[] = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
  Option "BlankTime" "0"
  Option "StandbyTime" "0"
  Option "SuspendTime" "0"
  Option "OffTime" "0"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 5760 1080
    Modes "1920x1080"
  EndSubSection
EndSection
)";

constexpr int firstSpareOutput = 2;
constexpr int lastOutput = 15;

} // namespace

QString TwoOutputXServer::display()
{
    const QByteArray exported = qgetenv(environmentVariable);
    if (!exported.isEmpty())
        return QString::fromLocal8Bit(exported);
    static const auto own = std::make_unique<TwoOutputXServer>();
    return own->name();
}

TwoOutputXServer::TwoOutputXServer()
    : folder_(std::make_unique<QTemporaryDir>())
{
    if (!folder_->isValid()) {
        failure_ = QStringLiteral("no temporary folder for the Xorg configuration");
        return;
    }
    const QString config = folder_->filePath(QStringLiteral("xorg.conf"));
    const QString log = folder_->filePath(QStringLiteral("xorg.log"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(configuration) < 0) {
        failure_ = QStringLiteral("cannot write %1").arg(config);
        return;
    }
    file.close();
    const auto server = DisplayServerProcess::start({"Xorg", "-config", config.toStdString(), "-logfile",
                                                      log.toStdString(), "-nolisten", "tcp", "-noreset",
                                                      "-novtswitch", "-sharevts"});
    pid_ = server.pid;
    if (server.display.isEmpty() || !restoreLayout(server.display)) {
        QFile written(log);
        written.open(QIODevice::ReadOnly);
        const QByteArray text = written.readAll();
        failure_ = QStringLiteral("Xorg with the dummy driver did not start (log %1):\n%2")
                       .arg(log, QString::fromLocal8Bit(text.right(2000)));
        DisplayServerProcess::stop(pid_);
        pid_ = 0;
        return;
    }
    name_ = server.display;
}

TwoOutputXServer::~TwoOutputXServer() { DisplayServerProcess::stop(pid_); }

bool TwoOutputXServer::xrandr(const QString& display, const QStringList& arguments)
{
    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("xrandr"), arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

bool TwoOutputXServer::restoreLayout(const QString& display)
{
    const QString mode = QStringLiteral("%1x%2").arg(outputWidth).arg(outputHeight);
    const QString projector = QString::fromLatin1(projectorOutput);
    // A dummy output reads connected once it has a mode.
    if (!xrandr(display, {QStringLiteral("--addmode"), projector, mode}))
        return false;
    QStringList arguments{QStringLiteral("--fb"),      QStringLiteral("%1x%2").arg(2 * outputWidth).arg(outputHeight),
                          QStringLiteral("--output"),  QString::fromLatin1(laptopOutput),
                          QStringLiteral("--mode"),    mode,
                          QStringLiteral("--pos"),     QStringLiteral("0x0"),
                          QStringLiteral("--primary"), QStringLiteral("--output"),
                          projector,                   QStringLiteral("--mode"),
                          mode,                        QStringLiteral("--pos"),
                          QStringLiteral("%1x0").arg(outputWidth)};
    for (int output = firstSpareOutput; output <= lastOutput; ++output)
        arguments << QStringLiteral("--output") << QStringLiteral("DUMMY%1").arg(output) << QStringLiteral("--off");
    return xrandr(display, arguments);
}

} // namespace quorvia::test
