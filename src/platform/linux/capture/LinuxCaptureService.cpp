#include "platform/linux/capture/LinuxCaptureService.h"

#include "platform/displays/DisplayService.h"
#include "platform/Platform.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/capture/X11CaptureStream.h"
#include "platform/linux/desktop/X11Windows.h"
#include "platform/linux/desktop/XcbConnection.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <cstring>
#include <map>

namespace quorvia::platform::native {

namespace {

// A stream that never delivers: used when the display cannot be captured.
class UnavailableStream final : public CaptureStream {
public:
    std::expected<void, CaptureError> addStreamOutput(StreamOutputType, SerialQueue, FrameHandler) override
    {
        return std::unexpected(CaptureError::outputUnavailable);
    }
    void startCapture(Completion completion) override { completion(CaptureError::startFailed); }
    void stopCapture(Completion completion) override
    {
        if (completion)
            completion(std::nullopt);
    }
    void updateConfiguration(const StreamConfiguration&, Completion completion) override
    {
        if (completion)
            completion(CaptureError::configurationRejected);
    }
};

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

} // namespace

bool LinuxCaptureService::seesEveryWindow(const ExtensionProbe& serverHasExtension)
{
    // Under XWayland the X server holds only the X clients: a grab shows the
    // desktop's native windows as black or stale, never as they are.
    return !serverHasExtension("XWAYLAND");
}

bool LinuxCaptureService::serverHasExtension(const char* name)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const auto reply =
        xcbReply(xcb_query_extension_reply(c, xcb_query_extension(c, uint16_t(std::strlen(name)), name), nullptr));
    return reply && reply->present != 0;
}

bool LinuxCaptureService::isAvailable()
{
    if (!qtOnX11())
        return false;
    // The server behind a running application never changes.
    static const bool seen = seesEveryWindow(&serverHasExtension);
    return seen;
}

void LinuxCaptureService::shareableContent(bool, bool, ContentCompletion completion)
{
    if (!isAvailable()) {
        globalQueue().async([completion = std::move(completion)] {
            completion(std::unexpected(CaptureError::contentUnavailable));
        });
        return;
    }
    ShareableContent content;
    for (const Screen& screen : current().displays().screens()) {
        if (!screen.displayID || screen.isInMirrorSet)
            continue;
        content.displays.push_back({*screen.displayID, int(screen.frame.width()), int(screen.frame.height()),
                                    screen.frame});
    }
    const qint64 own = QCoreApplication::applicationPid();
    const QString ownName = QCoreApplication::applicationName();
    globalQueue().async([content = std::move(content), own, ownName, completion = std::move(completion)]() mutable {
        X11Windows windows;
        const auto tops = windows.topLevels();
        if (!tops) {
            completion(std::unexpected(CaptureError::contentUnavailable));
            return;
        }
        std::map<qint64, ShareableApplication> apps;
        // This application is always running, with or without a window yet.
        apps[own] = {QStringLiteral("com.local.quorvia.mvp"), ownName, own};
        for (const auto& top : *tops) {
            if (top.processID == 0 || apps.contains(top.processID))
                continue;
            const QString name = processName(top.processID);
            apps[top.processID] = {top.className.isEmpty() ? name : top.className, name, top.processID};
        }
        for (auto& [pid, app] : apps)
            content.applications.push_back(app);
        completion(std::move(content));
    });
}

std::shared_ptr<CaptureStream> LinuxCaptureService::makeStream(const ContentFilter& filter,
                                                               const StreamConfiguration& configuration,
                                                               StopHandler onStopWithError)
{
    // The display's region in the X server's pixels.
    for (QScreen* screen : QGuiApplication::screens()) {
        if (!isAvailable())
            break;
        if (fromQtGlobal(QRectF(screen->geometry())) != filter.display.frame)
            continue;
        const double dpr = screen->devicePixelRatio();
        const QRect g = screen->geometry();
        const QRect native(qRound(g.x() * dpr), qRound(g.y() * dpr), qRound(g.width() * dpr),
                           qRound(g.height() * dpr));
        return std::make_shared<X11CaptureStream>(filter, configuration, native, dpr,
                                                  QCoreApplication::applicationPid(), std::move(onStopWithError));
    }
    return std::make_shared<UnavailableStream>();
}

} // namespace quorvia::platform::native
