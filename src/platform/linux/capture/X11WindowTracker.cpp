#include "platform/linux/capture/X11WindowTracker.h"

#include "platform/linux/capture/SameProgram.h"
#include "platform/linux/desktop/X11Windows.h"

#include <xcb/xcb.h>

#include <cstdlib>

#include <unistd.h>

namespace quorvia::platform::native {

namespace {
// A window's position is that of its border's outer corner.
QRect withBorder(int x, int y, int width, int height, int border)
{
    return QRect(x, y, width + 2 * border, height + 2 * border);
}
} // namespace

X11WindowTracker::X11WindowTracker(X11Windows& windows) : windows_(windows), ownProcessID_(::getpid()) {}

bool X11WindowTracker::start()
{
    xcb_connection_t* c = windows_.connection();
    if (!c)
        return false;
    // Events first, so no change between the query and the events is lost.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (auto* error = xcb_request_check(c, xcb_change_window_attributes_checked(c, windows_.root(),
                                                                                 XCB_CW_EVENT_MASK, &mask))) {
        std::free(error);
        return false;
    }
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, windows_.root()), nullptr);
    if (!tree)
        return false;
    const int count = xcb_query_tree_children_length(tree);
    const xcb_window_t* children = xcb_query_tree_children(tree);
    std::vector<xcb_get_window_attributes_cookie_t> attrs(static_cast<std::size_t>(count));
    std::vector<xcb_get_geometry_cookie_t> geoms(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        attrs[std::size_t(i)] = xcb_get_window_attributes(c, children[i]);
        geoms[std::size_t(i)] = xcb_get_geometry(c, children[i]);
    }
    for (int i = 0; i < count; ++i) {
        auto* attr = xcb_get_window_attributes_reply(c, attrs[std::size_t(i)], nullptr);
        auto* geom = xcb_get_geometry_reply(c, geoms[std::size_t(i)], nullptr);
        if (attr && geom)
            add(children[i], withBorder(geom->x, geom->y, geom->width, geom->height, geom->border_width),
                attr->map_state != XCB_MAP_STATE_UNMAPPED);
        std::free(attr);
        std::free(geom);
    }
    std::free(tree);
    resolvePending();
    return !xcb_connection_has_error(c);
}

void X11WindowTracker::add(std::uint32_t window, QRect frame, bool mapped)
{
    Top& top = tops_[window];
    top.frame = frame;
    top.mapped = mapped;
    if (mapped && !top.resolved)
        pending_.push_back(window);
}

void X11WindowTracker::remove(std::uint32_t window)
{
    const auto it = tops_.find(window);
    if (it == tops_.end())
        return;
    if (it->second.client)
        clientToTop_.erase(it->second.client);
    tops_.erase(it);
}

bool X11WindowTracker::handle(const xcb_generic_event_t* event)
{
    const xcb_window_t root = windows_.root();
    switch (event->response_type & ~0x80) {
    case XCB_CREATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        if (e->parent == root)
            add(e->window, withBorder(e->x, e->y, e->width, e->height, e->border_width), false);
        return true;
    }
    case XCB_DESTROY_NOTIFY:
        remove(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
        return true;
    case XCB_MAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        if (const auto it = tops_.find(e->window); it != tops_.end()) {
            it->second.mapped = true;
            // A window manager may have put the client inside only now.
            if (!it->second.processID)
                it->second.resolved = false;
            if (!it->second.resolved)
                pending_.push_back(e->window);
        }
        return true;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
        if (const auto it = tops_.find(e->window); it != tops_.end())
            it->second.mapped = false;
        return true;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (const auto it = tops_.find(e->window); it != tops_.end())
            it->second.frame = withBorder(e->x, e->y, e->width, e->height, e->border_width);
        return true;
    }
    case XCB_GRAVITY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_gravity_notify_event_t*>(event);
        if (const auto it = tops_.find(e->window); it != tops_.end())
            it->second.frame.moveTo(e->x, e->y);
        return true;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        if (e->parent != root) {
            remove(e->window);
            return true;
        }
        // Back on the root: its size and state are asked for once.
        auto* attr = xcb_get_window_attributes_reply(windows_.connection(),
                                                     xcb_get_window_attributes(windows_.connection(), e->window),
                                                     nullptr);
        auto* geom = xcb_get_geometry_reply(windows_.connection(), xcb_get_geometry(windows_.connection(), e->window),
                                            nullptr);
        if (attr && geom)
            add(e->window, withBorder(e->x, e->y, geom->width, geom->height, geom->border_width),
                attr->map_state != XCB_MAP_STATE_UNMAPPED);
        std::free(attr);
        std::free(geom);
        return true;
    }
    case XCB_CIRCULATE_NOTIFY:
        return true;
    default:
        return false;
    }
}

void X11WindowTracker::resolvePending()
{
    if (pending_.empty())
        return;
    std::vector<std::uint32_t> windows;
    for (std::uint32_t w : pending_)
        if (const auto it = tops_.find(w); it != tops_.end() && !it->second.resolved)
            windows.push_back(w);
    pending_.clear();
    const auto clients = windows_.clientsOf(windows);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Top& top = tops_[windows[i]];
        if (top.client)
            clientToTop_.erase(top.client);
        top.resolved = true;
        top.client = clients[i].window;
        top.processID = clients[i].processID;
        top.sameProgram = runsSameProgram(top.processID);
        if (top.client && top.client != windows[i])
            clientToTop_[top.client] = windows[i];
    }
}

std::optional<QRect> X11WindowTracker::frameOf(std::uint32_t window) const
{
    auto it = tops_.find(window);
    if (it == tops_.end()) {
        const auto client = clientToTop_.find(window);
        if (client == clientToTop_.end())
            return std::nullopt;
        it = tops_.find(client->second);
        if (it == tops_.end())
            return std::nullopt;
    }
    return it->second.mapped ? it->second.frame : QRect();
}

bool X11WindowTracker::among(const Top& top, const QSet<qint64>& processIDs) const
{
    return top.processID != 0
           && (processIDs.contains(top.processID) || (top.sameProgram && processIDs.contains(ownProcessID_)));
}

std::vector<QRect> X11WindowTracker::framesOf(const QSet<qint64>& processIDs) const
{
    std::vector<QRect> frames;
    if (processIDs.isEmpty())
        return frames;
    for (const auto& [window, top] : tops_)
        if (top.mapped && among(top, processIDs))
            frames.push_back(top.frame);
    return frames;
}

std::optional<QRect> X11WindowTracker::mappedFrameIfAmong(std::uint32_t topLevel, const QSet<std::uint32_t>& windows,
                                                          const QSet<qint64>& processIDs) const
{
    const auto it = tops_.find(topLevel);
    if (it == tops_.end() || !it->second.mapped)
        return std::nullopt;
    const Top& top = it->second;
    if (windows.contains(topLevel) || (top.client && windows.contains(top.client))
        || among(top, processIDs))
        return top.frame;
    return std::nullopt;
}

} // namespace quorvia::platform::native
