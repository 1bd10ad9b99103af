#include "platform/linux/LinuxWorkspace.h"

#include "platform/MainQueue.h"

#include <QProcess>
#include <QStandardPaths>

namespace quorvia::platform::native {

void LinuxWorkspace::openDocument(const QString&, const QString&, std::function<void(bool, const QString&)> completion)
{
    // The applications the system asks for are never installed here.
    MainQueue::async([completion = std::move(completion)] {
        if (completion)
            completion(false, QStringLiteral("未安装可以打开该文稿的应用"));
    });
}

bool LinuxWorkspace::openDisplaySettings()
{
    struct Tool {
        const char* program;
        QStringList arguments;
    };
    const Tool tools[] = {
        {"gnome-control-center", {QStringLiteral("display")}},
        {"systemsettings", {QStringLiteral("kcm_kscreen")}},
        {"xfce4-display-settings", {}},
        {"arandr", {}},
    };
    for (const auto& tool : tools) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool.program));
        if (!path.isEmpty())
            return QProcess::startDetached(path, tool.arguments);
    }
    return false;
}

} // namespace quorvia::platform::native
