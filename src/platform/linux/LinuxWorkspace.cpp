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

namespace {

// Whether the desktop registered a handler for settings links.
bool desktopOpensSettingsLinks()
{
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty())
        return false;
    QProcess query;
    query.start(mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/settings")});
    if (!query.waitForFinished(1000)) {
        query.kill();
        query.waitForFinished(100);
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool LinuxWorkspace::openDisplaySettings()
{
    struct Tool {
        const char* program;
        QStringList arguments;
    };
    // The desktop's own settings first, then the stand-alone RandR tools.
    const Tool tools[] = {
        {"gnome-control-center", {QStringLiteral("display")}},
        {"systemsettings", {QStringLiteral("kcm_kscreen")}},
        {"kcmshell6", {QStringLiteral("kcm_kscreen")}},
        {"kcmshell5", {QStringLiteral("kcm_kscreen")}},
        {"xfce4-display-settings", {}},
        {"cinnamon-settings", {QStringLiteral("display")}},
        {"mate-display-properties", {}},
        {"lxqt-config-monitor", {}},
        {"xdg-open", {QStringLiteral("settings://display")}},
        {"lxrandr", {}},
        {"arandr", {}},
    };
    for (const auto& tool : tools) {
        const QString program = QString::fromLatin1(tool.program);
        if (program == QLatin1String("xdg-open") && !desktopOpensSettingsLinks())
            continue;
        const QString path = QStandardPaths::findExecutable(program);
        if (!path.isEmpty() && QProcess::startDetached(path, tool.arguments))
            return true;
    }
    return false;
}

} // namespace quorvia::platform::native
