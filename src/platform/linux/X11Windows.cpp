#include "platform/linux/X11Windows.h"

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

std::optional<std::vector<X11TopLevel>> X11Windows::topLevels()
{
    if (!connection_)
        return std::nullopt;
    Reply tree(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree)
        return std::nullopt;
    const int count = xcb_query_tree_children_length(tree.value);
    const xcb_window_t* children = xcb_query_tree_children(tree.value);

    std::vector<X11TopLevel> result;
    for (int i = 0; i < count; ++i) {
        const xcb_window_t child = children[i];
        Reply attr(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, child), nullptr));
        if (!attr || attr->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        Reply geom(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, child), nullptr));
        if (!geom)
            continue;
        X11TopLevel top;
        top.window = child;
        const int b = geom->border_width;
        top.frame = QRect(geom->x - b, geom->y - b, geom->width + 2 * b, geom->height + 2 * b);

        // The client is the window itself or sits a few levels inside a frame.
        std::vector<xcb_window_t> level{child};
        for (int depth = 0; depth < 3 && top.processID == 0 && !level.empty(); ++depth) {
            std::vector<xcb_window_t> next;
            for (xcb_window_t w : level) {
                Reply pid(xcb_get_property_reply(
                    connection_, xcb_get_property(connection_, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr));
                if (pid && xcb_get_property_value_length(pid.value) >= 4) {
                    top.processID = *static_cast<const std::uint32_t*>(xcb_get_property_value(pid.value));
                    Reply cls(xcb_get_property_reply(
                        connection_, xcb_get_property(connection_, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
                        nullptr));
                    if (cls) {
                        // "instance\0class\0"
                        const char* data = static_cast<const char*>(xcb_get_property_value(cls.value));
                        const int len = xcb_get_property_value_length(cls.value);
                        const int first = int(strnlen(data, std::size_t(len)));
                        if (first + 1 < len)
                            top.className = QString::fromLocal8Bit(data + first + 1,
                                                                   int(strnlen(data + first + 1, std::size_t(len - first - 1))));
                    }
                    break;
                }
                Reply sub(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, w), nullptr));
                if (sub) {
                    const xcb_window_t* kids = xcb_query_tree_children(sub.value);
                    next.insert(next.end(), kids, kids + xcb_query_tree_children_length(sub.value));
                }
            }
            level = std::move(next);
        }
        result.push_back(std::move(top));
    }
    if (xcb_connection_has_error(connection_))
        return std::nullopt;
    return result;
}

} // namespace quorvia::platform::native
