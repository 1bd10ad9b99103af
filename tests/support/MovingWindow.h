#pragma once

#include <QRect>
#include <QRgb>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>

namespace quorvia::test {

// Another client's window the server paints in one colour, carrying a
// process's id when given one, moved by that client with each step done by
// the server before the next.
class MovingWindow {
public:
    // A managed one is left to the window manager, as an ordinary program's is.
    MovingWindow(const QRect& frame, QRgb colour, std::uint32_t processID = 0, const char* display = nullptr,
                 bool managed = false)
        : connection_(xcb_connect(display, nullptr)), size_(frame.size())
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        id_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {colour & 0xffffff, managed ? 0u : 1u};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id_, screen->root, std::int16_t(frame.x()),
                          std::int16_t(frame.y()), std::uint16_t(frame.width()), std::uint16_t(frame.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        if (processID) {
            auto* atom = xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, 11, "_NET_WM_PID"), nullptr);
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, id_, atom->atom, XCB_ATOM_CARDINAL, 32, 1,
                                &processID);
            std::free(atom);
        }
    }
    ~MovingWindow() { xcb_disconnect(connection_); }
    MovingWindow(const MovingWindow&) = delete;
    MovingWindow& operator=(const MovingWindow&) = delete;

    void map()
    {
        xcb_map_window(connection_, id_);
        sync();
    }
    void moveTo(QPoint at)
    {
        const std::uint32_t values[] = {std::uint32_t(at.x()), std::uint32_t(at.y())};
        xcb_configure_window(connection_, id_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        sync();
    }
    QRect at(QPoint place) const { return {place, size_}; }
    std::uint32_t id() const { return id_; }

private:
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t id_ = 0;
    QSize size_;
};

} // namespace quorvia::test
