#include "platform/linux/desktop/LinuxPointerService.h"

#include "platform/core/MainQueue.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/desktop/X11Windows.h"
#include "platform/linux/desktop/XcbExtension.h"
#include "platform/linux/desktop/XcbConnection.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSocketNotifier>

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>

namespace quorvia::platform::native {

LinuxPointerService::LinuxPointerService() = default;
LinuxPointerService::~LinuxPointerService() = default;

void LinuxPointerService::connect() const
{
    if (triedX11_ || !qtOnX11())
        return;
    triedX11_ = true;
    x11_ = std::make_unique<X11Windows>();
    if (!x11_->isConnected())
        return;
    xcb_connection_t* c = x11_->connection();
    // Without the cursor extension the cursor is our arrow.
    haveFixes_ = bool(queryXcbExtension(
        c, &xcb_xfixes_id, [c] { return xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr); }));
    if (haveFixes_)
        xcb_xfixes_select_cursor_input(c, x11_->root(), XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
    const auto input = queryXcbExtension(
        c, &xcb_input_id, [c] { return xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr); });
    if (input && input.version->major_version >= 2)
        inputOpcode_ = input.data->major_opcode;
    if (inputOpcode_) {
        // Presses are counted from now on; motion only while asked for.
        watching_ = true;
        watchMotion(false);
        // Events are read as they come, so none pile up while nobody asks.
        events_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
        QObject::connect(events_.get(), &QSocketNotifier::activated, events_.get(), [this] { readEvents(); });
    }
    xcb_flush(c);
}

void LinuxPointerService::watchMotion(bool watch) const
{
    if (!inputOpcode_ || watch == watching_)
        return;
    watching_ = watch;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL, 1},
                std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE
                              | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS)
                    | (watch ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION) : 0u)};
    xcb_input_xi_select_events(x11_->connection(), x11_->root(), 1, &selection.head);
    xcb_flush(x11_->connection());
}

void LinuxPointerService::readEvents() const
{
    if (!x11_ || !x11_->isConnected())
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x11_->connection())) {
        const std::uint8_t type = event->response_type & ~0x80;
        const auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
        if (type != XCB_GE_GENERIC || generic->extension != inputOpcode_)
            cursorChanged_ = true;
        else if (generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS)
            notePress(reinterpret_cast<xcb_input_raw_button_press_event_t*>(event)->detail);
        else if (generic->event_type == XCB_INPUT_RAW_BUTTON_RELEASE)
            noteRelease(reinterpret_cast<xcb_input_raw_button_release_event_t*>(event)->detail);
        else if (generic->event_type == XCB_INPUT_RAW_KEY_PRESS)
            noteKey();
        else
            moved_ = true;
        std::free(event);
    }
    // One word of motion is enough until the position has been asked for.
    if (moved_)
        watchMotion(false);
}

QPoint LinuxPointerService::position() const
{
    connect();
    readEvents();
    const double now = uptime();
    const bool told = inputOpcode_ != 0;
    if (position_ && told && !moved_ && now - queriedAt_ < recheckInterval)
        return *position_;
    // Asked for the next motion before the position, so none is missed between.
    moved_ = false;
    watchMotion(true);
    position_ = QCursor::pos();
    queriedAt_ = now;
    ++queries_;
    return *position_;
}

Point LinuxPointerService::mouseLocation() const { return fromQtGlobal(QPointF(position())); }

bool LinuxPointerService::isApplicationActive() const
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

XcbReply<xcb_query_pointer_reply_t> LinuxPointerService::queryPointer() const
{
    xcb_connection_t* c = x11_->connection();
    return xcbReply(xcb_query_pointer_reply(c, xcb_query_pointer(c, x11_->root()), nullptr));
}

// A raw press tells no place: the pointer is asked at once, still where the press was.
void LinuxPointerService::notePress(std::uint32_t button) const
{
    // Buttons 4 to 7 are the wheel's turns, no press on anything.
    if (button < 1 || button > 3)
        return;
    if (const auto pointer = queryPointer())
        lastPress_ = {++inputs_, fromQtGlobal(QPointF(pointer->root_x, pointer->root_y)),
                      bool(pointer->mask & (XCB_KEY_BUT_MASK_MOD_1 | XCB_KEY_BUT_MASK_MOD_4)), std::nullopt,
                      ourWindowHolding(pointer->child), {}, {}};
}

// A key tells no window: the keyboard is asked where it is at once, still there.
void LinuxPointerService::noteKey() const
{
    xcb_connection_t* c = x11_->connection();
    const auto focus = xcbReply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    lastKey_ = {++inputs_, focus ? ourWindowHolding(focus->focus) : nullptr, {}, {}};
}

std::uint32_t LinuxPointerService::rootChildHolding(std::uint32_t window) const
{
    xcb_connection_t* c = x11_->connection();
    for (int depth = 0; window != XCB_NONE && depth < 8; ++depth) {
        const auto tree = xcbReply(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return XCB_NONE;
        if (tree->parent == tree->root)
            return window;
        window = tree->parent;
    }
    return XCB_NONE;
}

// By the root's child that holds both: a window manager's frame holds its
// title bar and border as well as our window.
QWidget* LinuxPointerService::ourWindowHolding(std::uint32_t window) const
{
    const std::uint32_t holder = rootChildHolding(window);
    if (holder == XCB_NONE)
        return nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->internalWinId() && rootChildHolding(std::uint32_t(widget->internalWinId())) == holder)
            return widget;
    return nullptr;
}

void LinuxPointerService::noteRelease(std::uint32_t button) const
{
    if (button < 1 || button > 3 || lastPress_.number == 0)
        return;
    if (const auto pointer = queryPointer())
        lastPress_.release = fromQtGlobal(QPointF(pointer->root_x, pointer->root_y));
}

PointerService::Press LinuxPointerService::lastPress() const
{
    connect();
    readEvents();
    return lastPress_;
}

PointerService::Key LinuxPointerService::lastKey() const
{
    connect();
    readEvents();
    return lastKey_;
}

bool LinuxPointerService::isButtonHeld() const
{
    connect();
    // Qt sees the buttons only over our own windows; the server sees them all.
    if (!x11_ || !x11_->isConnected())
        return QGuiApplication::mouseButtons() != Qt::NoButton;
    const auto pointer = queryPointer();
    return pointer && (pointer->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3));
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
    connect();
    if (!haveFixes_)
        return arrowCursor();
    readEvents();
    // The screen under the position last asked for, not asked for again.
    const QPoint at = position_ ? *position_ : position();
    const QScreen* screenNow = QGuiApplication::screenAt(at);
    const double dprNow = screenNow ? screenNow->devicePixelRatio() : 1.0;
    if (cursor_ && !cursorChanged_ && cursor_->image.devicePixelRatio() == dprNow)
        return *cursor_;
    cursorChanged_ = false;
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
        const double dpr = dprNow;
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
