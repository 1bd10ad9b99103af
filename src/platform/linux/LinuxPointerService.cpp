#include "platform/linux/LinuxPointerService.h"

#include "platform/ScreenSpace.h"
#include "platform/linux/X11Windows.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <xcb/xfixes.h>

#include <cstdlib>

namespace quorvia::platform::native {

LinuxPointerService::LinuxPointerService() = default;
LinuxPointerService::~LinuxPointerService() = default;

Point LinuxPointerService::mouseLocation() const { return fromQtGlobal(QPointF(QCursor::pos())); }

bool LinuxPointerService::isApplicationActive() const
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

CursorImage LinuxPointerService::arrowCursor() const
{
    // Drawn once, so callers see the same picture every time.
    if (arrow_)
        return *arrow_;
    // Our own arrow, drawn at twice the point size for sharp scaling.
    const double scale = 2.0;
    QImage image(int(12 * scale), int(19 * scale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 16);
    arrow.lineTo(4.8, 12.4);
    arrow.lineTo(7.4, 18);
    arrow.lineTo(9.6, 17);
    arrow.lineTo(7.1, 11.6);
    arrow.lineTo(11.8, 11.6);
    arrow.closeSubpath();
    painter.setPen(QPen(Qt::white, 1.2));
    painter.setBrush(Qt::black);
    painter.drawPath(arrow);
    painter.end();
    image.setDevicePixelRatio(scale);
    arrow_ = CursorImage{image, {12, 19}, {1, 1}};
    return *arrow_;
}

CursorImage LinuxPointerService::currentCursor() const
{
    if (!triedX11_ && QGuiApplication::platformName() == QLatin1String("xcb")) {
        triedX11_ = true;
        x11_ = std::make_unique<X11Windows>();
        if (x11_->isConnected()) {
            auto* version = xcb_xfixes_query_version_reply(
                x11_->connection(), xcb_xfixes_query_version(x11_->connection(), 4, 0), nullptr);
            haveFixes_ = version != nullptr;
            std::free(version);
            if (haveFixes_)
                xcb_xfixes_select_cursor_input(x11_->connection(), x11_->root(),
                                               XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
        }
    }
    if (!haveFixes_)
        return arrowCursor();
    // Only cursor changes arrive on this connection.
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x11_->connection())) {
        changed = true;
        std::free(event);
    }
    const QScreen* screenNow = QGuiApplication::screenAt(QCursor::pos());
    const double dprNow = screenNow ? screenNow->devicePixelRatio() : 1.0;
    if (cursor_ && !changed && cursor_->image.devicePixelRatio() == dprNow)
        return *cursor_;
    auto* reply = xcb_xfixes_get_cursor_image_reply(x11_->connection(),
                                                    xcb_xfixes_get_cursor_image(x11_->connection()), nullptr);
    if (!reply)
        return arrowCursor();
    const int w = reply->width;
    const int h = reply->height;
    CursorImage cursor;
    if (w > 0 && h > 0 && xcb_xfixes_get_cursor_image_cursor_image_length(reply) >= w * h) {
        const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply);
        // Premultiplied ARGB, one 32-bit value per pixel.
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < h; ++y)
            std::memcpy(image.scanLine(y), pixels + std::size_t(y) * w, std::size_t(w) * 4);
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        const double dpr = screen ? screen->devicePixelRatio() : 1.0;
        image.setDevicePixelRatio(dpr);
        cursor = {image, {w / dpr, h / dpr}, {reply->xhot / dpr, reply->yhot / dpr}};
    }
    std::free(reply);
    if (cursor.image.isNull())
        return arrowCursor();
    cursor_ = cursor;
    return cursor;
}

} // namespace quorvia::platform::native
