#include "platform/linux/desktop/X11Windows.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace quorvia::platform::native {

namespace {
template <typename T>
struct Reply {
    T* value = nullptr;
    explicit Reply(T* v) : value(v) {}
    ~Reply() { std::free(value); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return value; }
    explicit operator bool() const { return value != nullptr; }
};

std::uint32_t internAtom(xcb_connection_t* c, const char* name)
{
    Reply reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
}
} // namespace

X11Windows::X11Windows()
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    connection_ = c;
    root_ = it.data->root;
    pidAtom_ = internAtom(c, "_NET_WM_PID");
}

X11Windows::~X11Windows()
{
    if (connection_)
        xcb_disconnect(connection_);
}

std::optional<QRect> X11Windows::viewableFrame(std::uint32_t window)
{
    if (!connection_)
        return std::nullopt;
    auto attrCookie = xcb_get_window_attributes(connection_, window);
    auto geomCookie = xcb_get_geometry(connection_, window);
    auto transCookie = xcb_translate_coordinates(connection_, window, root_, 0, 0);
    xcb_generic_error_t* error = nullptr;
    Reply attr(xcb_get_window_attributes_reply(connection_, attrCookie, &error));
    const bool gone = error && error->error_code == XCB_WINDOW;
    std::free(error);
    error = nullptr;
    Reply geom(xcb_get_geometry_reply(connection_, geomCookie, &error));
    std::free(error);
    error = nullptr;
    Reply trans(xcb_translate_coordinates_reply(connection_, transCookie, &error));
    std::free(error);
    if (xcb_connection_has_error(connection_))
        return std::nullopt;
    if (gone || (attr && attr->map_state != XCB_MAP_STATE_VIEWABLE))
        return QRect();
    if (!attr || !geom || !trans)
        return std::nullopt;
    // Include the border, which is drawn on screen too.
    const int b = geom->border_width;
    return QRect(trans->dst_x - b, trans->dst_y - b, geom->width + 2 * b, geom->height + 2 * b);
}

std::vector<X11Client> X11Windows::clientsOf(const std::vector<std::uint32_t>& windows)
{
    std::vector<X11Client> clients(windows.size());
    if (!connection_)
        return clients;
    xcb_connection_t* c = connection_;
    // (index of the window asked about, window to look at) for this level.
    std::vector<std::pair<std::size_t, xcb_window_t>> level;
    for (std::size_t i = 0; i < windows.size(); ++i)
        level.emplace_back(i, windows[i]);
    std::vector<std::pair<std::size_t, xcb_window_t>> found;
    for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
        std::vector<xcb_get_property_cookie_t> pidCookies;
        pidCookies.reserve(level.size());
        for (const auto& [index, w] : level)
            pidCookies.push_back(xcb_get_property(c, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1));
        std::vector<std::pair<std::size_t, xcb_window_t>> deeper;
        std::vector<xcb_query_tree_cookie_t> treeCookies;
        for (std::size_t k = 0; k < level.size(); ++k) {
            const auto [index, w] = level[k];
            Reply pid(xcb_get_property_reply(c, pidCookies[k], nullptr));
            if (clients[index].processID != 0)
                continue; // a sibling already answered
            if (pid && xcb_get_property_value_length(pid.value) >= 4) {
                clients[index].processID = *static_cast<const std::uint32_t*>(xcb_get_property_value(pid.value));
                clients[index].window = w;
                found.emplace_back(index, w);
            } else if (depth < 3) {
                deeper.emplace_back(index, w);
                treeCookies.push_back(xcb_query_tree(c, w));
            }
        }
        level.clear();
        for (std::size_t k = 0; k < deeper.size(); ++k) {
            Reply tree(xcb_query_tree_reply(c, treeCookies[k], nullptr));
            if (!tree || clients[deeper[k].first].processID != 0)
                continue;
            const xcb_window_t* kids = xcb_query_tree_children(tree.value);
            for (int i = 0; i < xcb_query_tree_children_length(tree.value); ++i)
                level.emplace_back(deeper[k].first, kids[i]);
        }
    }
    std::vector<xcb_get_property_cookie_t> classCookies;
    for (const auto& [index, w] : found)
        classCookies.push_back(xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64));
    for (std::size_t k = 0; k < found.size(); ++k) {
        Reply cls(xcb_get_property_reply(c, classCookies[k], nullptr));
        if (!cls)
            continue;
        // "instance\0class\0"
        const char* data = static_cast<const char*>(xcb_get_property_value(cls.value));
        const int len = xcb_get_property_value_length(cls.value);
        const int first = int(strnlen(data, std::size_t(len)));
        if (first + 1 < len)
            clients[found[k].first].className = QString::fromLocal8Bit(
                data + first + 1, int(strnlen(data + first + 1, std::size_t(len - first - 1))));
    }
    return clients;
}

std::optional<std::vector<X11TopLevel>> X11Windows::topLevels()
{
    if (!connection_)
        return std::nullopt;
    xcb_connection_t* c = connection_;
    Reply tree(xcb_query_tree_reply(c, xcb_query_tree(c, root_), nullptr));
    if (!tree)
        return std::nullopt;
    const int count = xcb_query_tree_children_length(tree.value);
    const xcb_window_t* children = xcb_query_tree_children(tree.value);

    std::vector<xcb_get_window_attributes_cookie_t> attrCookies(static_cast<std::size_t>(count));
    std::vector<xcb_get_geometry_cookie_t> geomCookies(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        attrCookies[std::size_t(i)] = xcb_get_window_attributes(c, children[i]);
        geomCookies[std::size_t(i)] = xcb_get_geometry(c, children[i]);
    }
    std::vector<X11TopLevel> result;
    std::vector<std::uint32_t> viewable;
    for (int i = 0; i < count; ++i) {
        Reply attr(xcb_get_window_attributes_reply(c, attrCookies[std::size_t(i)], nullptr));
        Reply geom(xcb_get_geometry_reply(c, geomCookies[std::size_t(i)], nullptr));
        if (!attr || !geom || attr->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        X11TopLevel top;
        top.window = children[i];
        // The position is that of the border's outer corner.
        const int b = geom->border_width;
        top.frame = QRect(geom->x, geom->y, geom->width + 2 * b, geom->height + 2 * b);
        result.push_back(std::move(top));
        viewable.push_back(children[i]);
    }
    const auto clients = clientsOf(viewable);
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i].processID = clients[i].processID;
        result[i].className = clients[i].className;
    }
    if (xcb_connection_has_error(c))
        return std::nullopt;
    return result;
}

} // namespace quorvia::platform::native
