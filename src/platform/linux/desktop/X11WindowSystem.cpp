#include "platform/linux/desktop/X11WindowSystem.h"

#include "platform/linux/desktop/X11CompositingWatch.h"
#include "platform/linux/desktop/X11FrameGuard.h"
#include "platform/linux/desktop/XcbConnection.h"

#include <QApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

namespace quorvia::platform::native {

namespace {

// Qt's own X11 connection, where Qt draws on an X server that answers.
QNativeInterface::QX11Application* qtX11()
{
    if (!qtOnX11())
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->connection() ? x11 : nullptr;
}

// The window the window manager names as its own, which holds the keyboard
// while no client does.
xcb_window_t managersOwnWindow(xcb_connection_t* c, xcb_window_t root)
{
    const xcb_atom_t check = internXcbAtom(c, "_NET_SUPPORTING_WM_CHECK", true);
    if (check == XCB_ATOM_NONE)
        return XCB_NONE;
    const auto reply = xcbReply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr));
    return reply && xcb_get_property_value_length(reply.get()) == 4
        ? *static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()))
        : XCB_NONE;
}

} // namespace

X11WindowSystem::X11WindowSystem() : watch_(X11CompositingWatch::make())
{
    if (watch_)
        watch_->onChange = [this] { compositingChanged(); };
}

X11WindowSystem::~X11WindowSystem() = default;

void X11WindowSystem::setOnAllDesktops(QWidget& window, bool sticky)
{
    auto* x11 = qtX11();
    if (!x11)
        return;
    xcb_connection_t* c = x11->connection();
    const auto id = xcb_window_t(window.winId());

    // Before mapping the desktop property decides; afterwards only a state
    // request to the root window does.
    const xcb_atom_t desktop = internXcbAtom(c, "_NET_WM_DESKTOP");
    if (sticky && desktop != XCB_ATOM_NONE) {
        const std::uint32_t all = 0xFFFFFFFFu;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &all);
    }
    const xcb_atom_t state = internXcbAtom(c, "_NET_WM_STATE");
    const xcb_atom_t stickyAtom = internXcbAtom(c, "_NET_WM_STATE_STICKY");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (state != XCB_ATOM_NONE && stickyAtom != XCB_ATOM_NONE && screen) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = state;
        event.data.data32[0] = sticky ? 1 : 0;
        event.data.data32[1] = stickyAtom;
        event.data.data32[2] = 0;
        event.data.data32[3] = 1;
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(c);
}

bool X11WindowSystem::windowsAreComposited()
{
    auto* x11 = qtX11();
    if (!x11)
        return false;
    xcb_connection_t* c = x11->connection();
    // A compositing manager owns this selection for the screen it composites.
    const QByteArray name = X11CompositingWatch::selectionName(DefaultScreen(x11->display()));
    const xcb_atom_t selection = internXcbAtom(c, name.constData());
    if (selection == XCB_ATOM_NONE)
        return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr), &std::free);
    return owner && owner->owner != XCB_NONE;
}

std::optional<QPoint> X11WindowSystem::innerOrigin(const QWidget& window)
{
    auto* x11 = qtX11();
    if (!x11 || window.devicePixelRatioF() != 1.0 || !window.testAttribute(Qt::WA_WState_Created))
        return std::nullopt;
    xcb_connection_t* c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> place(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, xcb_window_t(window.winId()), root, 0, 0),
                                        nullptr),
        &std::free);
    if (!place)
        return std::nullopt;
    return QPoint(place->dst_x, place->dst_y);
}

std::optional<KeyboardFocus> X11WindowSystem::keyboardFocus()
{
    auto* x11 = qtX11();
    if (!x11)
        return std::nullopt;
    xcb_connection_t* c = x11->connection();
    const auto focus = xcbReply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!focus)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_window_t window = focus->focus;
    if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT || window == root
        || window == managersOwnWindow(c, root))
        return KeyboardFocus{KeyboardFocus::Holder::nobody, nullptr};
    const auto widgets = QApplication::topLevelWidgets();
    // The focus may rest on a window inside one of ours.
    while (window != XCB_NONE && window != root) {
        for (QWidget* widget : widgets)
            if (widget->internalWinId() && xcb_window_t(widget->internalWinId()) == window)
                return KeyboardFocus{KeyboardFocus::Holder::ours, widget};
        const auto tree = xcbReply(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        window = tree ? tree->parent : XCB_NONE;
    }
    return KeyboardFocus{KeyboardFocus::Holder::otherProgram, nullptr};
}

void X11WindowSystem::markModal(QWidget& window)
{
    auto* x11 = qtX11();
    if (!x11 || !window.testAttribute(Qt::WA_WState_Created) || window.isVisible())
        return;
    xcb_connection_t* c = x11->connection();
    const auto id = xcb_window_t(window.internalWinId());
    const xcb_atom_t state = internXcbAtom(c, "_NET_WM_STATE");
    const xcb_atom_t modal = internXcbAtom(c, "_NET_WM_STATE_MODAL");
    if (state == XCB_ATOM_NONE || modal == XCB_ATOM_NONE)
        return;
    // Qt keeps what the property holds as it maps the window; the window
    // manager cleared it when the window was last hidden.
    const auto held = xcbReply(xcb_get_property_reply(c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr));
    const auto* atoms = held && held->format == 32 ? static_cast<const xcb_atom_t*>(xcb_get_property_value(held.get())) : nullptr;
    const int count = atoms ? xcb_get_property_value_length(held.get()) / 4 : 0;
    if (std::find(atoms, atoms + count, modal) == atoms + count)
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &modal);
}

bool X11WindowSystem::stopManagersDrag(QWidget& window)
{
    auto* x11 = qtX11();
    if (!x11 || !window.testAttribute(Qt::WA_WState_Created) || !window.isVisible())
        return false;
    xcb_connection_t* c = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t moveResize = internXcbAtom(c, "_NET_WM_MOVERESIZE", true);
    if (!screen || moveResize == XCB_ATOM_NONE || managersOwnWindow(c, screen->root) == XCB_NONE)
        return false;
    constexpr std::uint32_t cancel = 11;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window.internalWinId());
    event.type = moveResize;
    event.data.data32[2] = cancel;
    event.data.data32[4] = 1;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    return true;
}

void X11WindowSystem::keepInside(QWidget& window, const std::optional<KeptArea>& area, FrameRule rule)
{
    if (!std::exchange(triedGuard_, true) && qtX11())
        guard_ = X11FrameGuard::start();
    if (!guard_)
        return;
    const auto id = window.testAttribute(Qt::WA_WState_Created) && window.devicePixelRatioF() == 1.0
        ? std::uint32_t(window.internalWinId())
        : 0u;
    const auto known = guarded_.find(&window);
    if (known != guarded_.end() && known->second != id)
        guard_->keepInside(known->second, std::nullopt, nullptr);
    if (!id || !area) {
        if (id)
            guard_->keepInside(id, std::nullopt, nullptr);
        if (known != guarded_.end())
            guarded_.erase(known);
        return;
    }
    if (known == guarded_.end() || known->second != id)
        // A dialog goes without telling: its id must not bound a later window.
        QObject::connect(&window, &QObject::destroyed, [guard = std::weak_ptr(guard_), id] {
            if (auto alive = guard.lock())
                alive->keepInside(id, std::nullopt, nullptr);
        });
    guarded_[&window] = id;
    guard_->keepInside(id, area, rule);
}

void X11WindowSystem::asking(QWidget& window, const QRect& outer)
{
    if (const auto known = guarded_.find(&window); guard_ && known != guarded_.end())
        guard_->asking(known->second, outer);
}

} // namespace quorvia::platform::native
