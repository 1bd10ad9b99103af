#include "platform/linux/desktop/LinuxPointerService.h"

#include "platform/core/MainQueue.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/files/FileDescriptor.h"
#include "platform/linux/desktop/X11Windows.h"
#include "platform/linux/desktop/XcbExtension.h"
#include "platform/linux/desktop/XcbConnection.h"
#include "platform/linux/desktop/XcbEventThread.h"

#include <QApplication>
#include <QGuiApplication>
#include <QCursor>
#include <QWidget>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSocketNotifier>

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvia::platform::native {

// Reads raw presses, releases and keys on a thread and connection of its own
// and asks the server at once where each happened. It knows X ids and root
// pixels only: no Qt on its thread.
class LinuxPointerService::InputReader {
public:
    struct Press {
        std::uint64_t number = 0;
        QPoint location;
        bool withModifier = false;
        std::optional<QPoint> release;
        xcb_window_t window = XCB_NONE;
        std::optional<QRect> area;
        std::optional<QRect> areaAtRelease;
    };
    struct Key {
        std::uint64_t number = 0;
        xcb_keycode_t keycode = 0;
        bool down = true;
        xcb_window_t window = XCB_NONE;
        std::optional<QRect> area;
        std::optional<QRect> areaAtRelease;
    };

    // Input is selected before this returns, so none after it is missed;
    // none without a server or its input extension. Windows of ours are those
    // whose ids the server gave Qt's connection: `base` and any bits of `mask`.
    // `released` is called on the reader's thread once a release is noted.
    static std::unique_ptr<InputReader> start(std::uint32_t base, std::uint32_t mask, std::function<void()> released)
    {
        auto connection = connectXcbScreen(QByteArray());
        if (!connection)
            return nullptr;
        std::unique_ptr<InputReader> reader(new InputReader(connection->connection, connection->screen->root, base, mask));
        reader->released_ = std::move(released);
        if (!reader->select())
            return nullptr;
        reader->events_.start([r = reader.get()](const xcb_generic_event_t* event) { r->handle(event); });
        return reader;
    }

    ~InputReader()
    {
        events_.stop();
        xcb_disconnect(c_);
    }

    Press press() const
    {
        std::lock_guard lock(mutex_);
        return press_;
    }
    std::deque<Key> keys() const
    {
        std::lock_guard lock(mutex_);
        return keys_;
    }
    Key lastKey() const
    {
        std::lock_guard lock(mutex_);
        return keys_.empty() ? Key{} : keys_.back();
    }

private:
    InputReader(xcb_connection_t* c, xcb_window_t root, std::uint32_t base, std::uint32_t mask)
        : c_(c), root_(root), base_(base), mask_(mask), events_(c)
    {
    }

    bool select()
    {
        const auto input = queryXcbExtension(
            c_, &xcb_input_id, [this] { return xcb_input_xi_query_version_reply(c_, xcb_input_xi_query_version(c_, 2, 2), nullptr); });
        if (!events_.isReady() || !input || input.version->major_version < 2)
            return false;
        opcode_ = input.data->major_opcode;
        struct {
            xcb_input_event_mask_t head;
            std::uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                    std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE
                                  | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE)};
        // A master device only: each press comes from its own device and its master too.
        xcb_input_xi_select_events(c_, root_, 1, &selection.head);
        // A round trip: the selection stands before the first call returns.
        return bool(xcbReply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)));
    }

    void handle(const xcb_generic_event_t* event)
    {
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if ((event->response_type & ~0x80) != XCB_GE_GENERIC || generic->extension != opcode_)
            return;
        // Raw events carry the same head; detail is the button or key code.
        const std::uint32_t detail = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event)->detail;
        switch (generic->event_type) {
        case XCB_INPUT_RAW_BUTTON_PRESS: return notePress(detail);
        case XCB_INPUT_RAW_BUTTON_RELEASE: return noteRelease(detail);
        case XCB_INPUT_RAW_KEY_PRESS: return noteKey(xcb_keycode_t(detail));
        case XCB_INPUT_RAW_KEY_RELEASE: return noteKeyUp(xcb_keycode_t(detail));
        default: return;
        }
    }

    XcbReply<xcb_query_pointer_reply_t> queryPointer() const
    {
        return xcbReply(xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr));
    }

    // Buttons 4 to 7 are the wheel's turns, no press on anything. The pointer
    // is asked first: it is what a drag moves soonest.
    void notePress(std::uint32_t button)
    {
        if (button < 1 || button > 3)
            return;
        const auto pointer = queryPointer();
        if (!pointer)
            return;
        const xcb_window_t window = ourWindowIn(pointer->child);
        const auto area = areaOf(window);
        std::lock_guard lock(mutex_);
        press_ = {++inputs_, QPoint(pointer->root_x, pointer->root_y),
                  bool(pointer->mask & (XCB_KEY_BUT_MASK_MOD_1 | XCB_KEY_BUT_MASK_MOD_4)), std::nullopt, window, area,
                  std::nullopt};
    }

    // Only this thread writes press_ and keys_, so it reads them unlocked.
    void noteRelease(std::uint32_t button)
    {
        if (button < 1 || button > 3 || press_.number == 0)
            return;
        const auto pointer = queryPointer();
        if (!pointer)
            return;
        const auto area = areaOf(press_.window);
        {
            std::lock_guard lock(mutex_);
            press_.release = QPoint(pointer->root_x, pointer->root_y);
            press_.areaAtRelease = area;
        }
        if (released_)
            released_();
    }

    void noteKey(xcb_keycode_t keycode)
    {
        const auto focus = xcbReply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        const xcb_window_t window = focus ? ourWindowAbove(focus->focus) : XCB_NONE;
        const auto area = areaOf(window);
        std::lock_guard lock(mutex_);
        keys_.push_back({++inputs_, keycode, true, window, area, std::nullopt});
        if (keys_.size() > keptKeys)
            keys_.pop_front();
    }

    // A held key may have repeated: each of its presses went up now.
    void noteKeyUp(xcb_keycode_t keycode)
    {
        xcb_window_t window = XCB_NONE;
        for (const Key& key : keys_)
            if (key.down && key.keycode == keycode)
                window = key.window;
        const auto area = areaOf(window);
        std::lock_guard lock(mutex_);
        for (Key& key : keys_)
            if (key.down && key.keycode == keycode) {
                key.down = false;
                key.areaAtRelease = area;
            }
    }

    bool isOurs(xcb_window_t window) const { return window != XCB_NONE && (window & ~mask_) == base_; }

    // Our top-level window that a child of the root is or holds: a window
    // manager's frame holds ours a level or two down.
    xcb_window_t ourWindowIn(xcb_window_t rootChild) const
    {
        std::vector<xcb_window_t> level;
        if (rootChild != XCB_NONE)
            level.push_back(rootChild);
        for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
            for (const xcb_window_t window : level)
                if (isOurs(window))
                    return window;
            if (depth == 3)
                break;
            // Every request of a level goes out before any reply is read.
            std::vector<xcb_query_tree_cookie_t> asked;
            for (const xcb_window_t window : level)
                asked.push_back(xcb_query_tree(c_, window));
            level.clear();
            for (const auto cookie : asked)
                if (const auto tree = xcbReply(xcb_query_tree_reply(c_, cookie, nullptr))) {
                    const xcb_window_t* children = xcb_query_tree_children(tree.get());
                    level.insert(level.end(), children, children + xcb_query_tree_children_length(tree.get()));
                }
        }
        return XCB_NONE;
    }

    // Our top-level window holding `window`: the topmost of ours above it,
    // else the one in the root's child above it (the keyboard may be given to
    // a frame or to a window of a widget inside ours).
    xcb_window_t ourWindowAbove(xcb_window_t window) const
    {
        xcb_window_t topmost = XCB_NONE;
        // None and PointerRoot are no windows.
        for (int depth = 0; window > 1 && window != root_ && depth < 8; ++depth) {
            if (isOurs(window))
                topmost = window;
            const auto tree = xcbReply(xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
            if (!tree)
                return topmost;
            if (tree->parent == root_)
                return topmost != XCB_NONE ? topmost : ourWindowIn(window);
            window = tree->parent;
        }
        return topmost;
    }

    // Our client window's own area, without the frame around it, in root pixels.
    std::optional<QRect> areaOf(xcb_window_t window) const
    {
        if (window == XCB_NONE)
            return std::nullopt;
        const auto origin = xcb_translate_coordinates(c_, window, root_, 0, 0);
        const auto size = xcb_get_geometry(c_, window);
        const auto at = xcbReply(xcb_translate_coordinates_reply(c_, origin, nullptr));
        const auto geometry = xcbReply(xcb_get_geometry_reply(c_, size, nullptr));
        if (!at || !geometry)
            return std::nullopt;
        return QRect(at->dst_x, at->dst_y, geometry->width, geometry->height);
    }

    xcb_connection_t* const c_;
    const xcb_window_t root_;
    const std::uint32_t base_;
    const std::uint32_t mask_;
    XcbEventThread events_;
    std::uint8_t opcode_ = 0;
    mutable std::mutex mutex_;
    std::uint64_t inputs_ = 0;
    Press press_;
    std::deque<Key> keys_;
    std::function<void()> released_;
};

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
        // Events are read as they come, so none pile up while nobody asks.
        events_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
        QObject::connect(events_.get(), &QSocketNotifier::activated, events_.get(), [this] { readEvents(); });
    }
    xcb_flush(c);
    // Presses and keys are counted from now on.
    if (auto* qt = qGuiApp->nativeInterface<QNativeInterface::QX11Application>(); qt && qt->connection()) {
        const xcb_setup_t* setup = xcb_get_setup(qt->connection());
        mainThread_ = std::make_unique<QObject>();
        input_ = InputReader::start(setup->resource_id_base, setup->resource_id_mask, [this, context = mainThread_.get()] {
            QMetaObject::invokeMethod(context, [this] {
                if (onPressEnded)
                    onPressEnded();
            }, Qt::QueuedConnection);
        });
    }
}

void LinuxPointerService::watchMotion(bool watch) const
{
    if (!inputOpcode_ || watch == watching_)
        return;
    watching_ = watch;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL, 1}, watch ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION) : 0u};
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

QWidget* LinuxPointerService::widgetOf(std::uint32_t window)
{
    if (window == XCB_NONE)
        return nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->internalWinId() == window)
            return widget;
    return nullptr;
}

namespace {

// Root pixels are Qt's global space on X.
std::optional<Rect> inGlobalSpace(const std::optional<QRect>& area)
{
    return area ? std::optional(fromQtGlobal(QRectF(*area))) : std::nullopt;
}

} // namespace

PointerService::Press LinuxPointerService::lastPress() const
{
    connect();
    if (!input_)
        return {};
    const auto press = input_->press();
    if (press.number == 0)
        return {};
    return {press.number,
            fromQtGlobal(QPointF(press.location)),
            press.withModifier,
            press.release ? std::optional(fromQtGlobal(QPointF(*press.release))) : std::nullopt,
            widgetOf(press.window),
            inGlobalSpace(press.area),
            inGlobalSpace(press.areaAtRelease)};
}

PointerService::Key LinuxPointerService::lastKey() const
{
    connect();
    if (!input_)
        return {};
    const auto key = input_->lastKey();
    if (key.number == 0)
        return {};
    return {key.number, widgetOf(key.window), inGlobalSpace(key.area), inGlobalSpace(key.areaAtRelease)};
}

std::vector<PointerService::Key> LinuxPointerService::keysAfter(std::uint64_t number) const
{
    connect();
    std::vector<Key> after;
    if (!input_)
        return after;
    for (const auto& key : input_->keys())
        if (key.number > number)
            after.push_back({key.number, widgetOf(key.window), inGlobalSpace(key.area), inGlobalSpace(key.areaAtRelease)});
    return after;
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
