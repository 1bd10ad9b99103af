// Shows the safety overlay on the X display until it is ended, so the
// screenshot script can take its picture: a single virtual screen can never
// mirror, so the running application never raises it there.
// Usage: quorvia_safety_overlay_show [REASON]
#include "platform/linux/LinuxPlatform.h"
#include "privacy/SafetyOverlayWindowController.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    quorvia::platform::native::installLinuxPlatform();
    const QString reason = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("检测到系统镜像；私密窗口已先隐藏");
    quorvia::SafetyOverlayWindowController overlay;
    overlay.show(reason);
    return app.exec();
}
