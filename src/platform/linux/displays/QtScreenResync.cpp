#include "platform/linux/displays/QtScreenResync.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QtGui/private/qhighdpiscaling_p.h>
#include <qpa/qplatformscreen.h>
#include <qpa/qwindowsysteminterface.h>

#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace quorvia::platform::native {

QtScreenResync::QtScreenResync(QObject* parent)
    : QObject(parent)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_randr_id);
    if (!extension || !extension->present)
        return;
    randrFirstEvent_ = extension->first_event;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

QtScreenResync::~QtScreenResync()
{
    if (randrFirstEvent_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool QtScreenResync::repairStaleScreens()
{
    bool any = false;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QPlatformScreen* platform = screen->handle();
        if (!platform)
            continue;
        const QRect geometry = platform->geometry();
        if (geometry.isEmpty() || QHighDpi::fromNativeScreenGeometry(geometry, screen) == screen->geometry())
            continue;
        QWindowSystemInterface::handleScreenGeometryChange(screen, geometry, platform->availableGeometry());
        any = true;
    }
    return any;
}

bool QtScreenResync::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const std::uint8_t type = static_cast<xcb_generic_event_t*>(message)->response_type & 0x7F;
    if (type != randrFirstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY && type != randrFirstEvent_ + XCB_RANDR_NOTIFY)
        return false;
    // Seen before Qt handles it: look once Qt is done with the whole batch.
    if (!queued_) {
        queued_ = true;
        QMetaObject::invokeMethod(this, [this] {
            queued_ = false;
            repairStaleScreens();
        }, Qt::QueuedConnection);
    }
    return false;
}

} // namespace quorvia::platform::native
