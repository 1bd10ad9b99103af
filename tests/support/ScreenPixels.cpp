#include "support/ScreenPixels.h"

#include <xcb/xcb.h>

#include <memory>

namespace quorvia::test {

ScreenPixels::ScreenPixels(const QString& display)
    : connection_(xcb_connect(display.isEmpty() ? nullptr : display.toLocal8Bit().constData(), nullptr))
{
}

ScreenPixels::~ScreenPixels() { xcb_disconnect(connection_); }

QImage ScreenPixels::read(const QRect& area) const
{
    if (xcb_connection_has_error(connection_))
        return {};
    return readFrom(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root, area);
}

QColor ScreenPixels::at(QPoint point) const
{
    const QImage image = read(QRect(point, QSize(1, 1)));
    return image.isNull() ? QColor() : QColor(image.pixel(0, 0));
}

QImage ScreenPixels::readWindow(std::uint32_t window) const
{
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr), &std::free);
    return geometry ? readFrom(window, QRect(0, 0, geometry->width, geometry->height)) : QImage();
}

QImage ScreenPixels::readFrom(std::uint32_t drawable, const QRect& area) const
{
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
        xcb_get_image_reply(connection_,
                            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, std::int16_t(area.x()),
                                          std::int16_t(area.y()), std::uint16_t(area.width()),
                                          std::uint16_t(area.height()), ~0u),
                            nullptr),
        &std::free);
    if (!image || xcb_get_image_data_length(image.get()) < area.width() * area.height() * 4)
        return {};
    return QImage(xcb_get_image_data(image.get()), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32)
        .copy();
}

} // namespace quorvia::test
