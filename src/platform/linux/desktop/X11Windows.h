#pragma once

#include <QRect>
#include <QString>

#include <optional>
#include <vector>

struct xcb_connection_t;

namespace quorvia::platform::native {

// A top-level window as the X server shows it, in root (native pixel) coordinates.
struct X11TopLevel {
    std::uint32_t window = 0;
    QRect frame;
    qint64 processID = 0; // 0 when the client does not say
    QString className;    // WM_CLASS class, empty when absent
};

// The client window inside a top-level window and what it says about itself.
struct X11Client {
    std::uint32_t window = 0;
    qint64 processID = 0;
    QString className;
};

// Queries of the X server's window tree on one connection; the connection is
// confined to the calling thread.
class X11Windows {
public:
    // Connects to the default display; check isConnected.
    X11Windows();
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    bool isConnected() const { return connection_ != nullptr; }
    xcb_connection_t* connection() const { return connection_; }
    std::uint32_t root() const { return root_; }

    // Viewable children of the root in stacking order, with the process of the
    // client inside each (a window manager's frame holds its client). None
    // when the server does not answer. All requests of one kind go out
    // before any reply is read.
    std::optional<std::vector<X11TopLevel>> topLevels();
    // The client inside each window: the window itself or one up to three
    // levels below that names its process. Window 0 and process 0 where none does.
    std::vector<X11Client> clientsOf(const std::vector<std::uint32_t>& windows);
    // The root-space rectangle of a viewable window; an empty rectangle when it
    // is gone or unmapped; none when the server does not answer.
    std::optional<QRect> viewableFrame(std::uint32_t window);

private:
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t pidAtom_ = 0;
};

} // namespace quorvia::platform::native
