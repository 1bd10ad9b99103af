#pragma once

#include <QByteArray>
#include <QPointer>

#include <xcb/xcb.h>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace quorvia::platform::native {

// Watches the owner of the X11 screen's compositing selection, which a
// compositing manager holds while it runs, on a connection of its own.
class X11CompositingWatch final {
public:
    // Nothing outside an X11 session, or where the server lacks XFixes.
    static std::unique_ptr<X11CompositingWatch> make();
    ~X11CompositingWatch();
    X11CompositingWatch(const X11CompositingWatch&) = delete;
    X11CompositingWatch& operator=(const X11CompositingWatch&) = delete;

    // The selection a compositing manager owns for the X11 screen numbered `screen`.
    static QByteArray selectionName(int screen);

    // Called on the main thread at each start or stop.
    std::function<void()> onChange;

private:
    X11CompositingWatch() = default;
    void readEvents();

    xcb_connection_t* connection_ = nullptr;
    unsigned char selectionNotify_ = 0;
    // Parented to the application, which may go first at exit.
    QPointer<QSocketNotifier> events_;
};

} // namespace quorvia::platform::native
