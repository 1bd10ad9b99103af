#pragma once

#include "platform/desktop/WindowSystem.h"
#include "platform/linux/desktop/XcbEventThread.h"

#include <QRect>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace quorvia::platform::native {

// Keeps windows of ours inside their areas at every step of a move or resize
// another client makes. A window manager tells a window of its own drag only
// once it ends, but the server tells the root of each step of the frame it
// moves: each step past the area is answered at once, from a thread and
// connection of its own, whatever the main thread is doing. Knows X ids and
// root pixels only: no Qt on its thread. An area given for a display that
// has moved since binds nothing: the old arrangement's area may now be the
// audience's.
class X11FrameGuard {
public:
    // None without a server, or without the screens' change notices.
    static std::unique_ptr<X11FrameGuard> start();
    ~X11FrameGuard();
    X11FrameGuard(const X11FrameGuard&) = delete;
    X11FrameGuard& operator=(const X11FrameGuard&) = delete;

    // Any thread. `client` is our top-level X window; none lifts its area.
    void keepInside(xcb_window_t client, const std::optional<KeptArea>& area, FrameRule rule);
    // Any thread: the program asks for the client's frame at `outer`.
    void asking(xcb_window_t client, const QRect& outer);
    // How many steps were answered so far.
    std::uint64_t answers() const { return answers_; }

private:
    struct Bound {
        KeptArea kept;
        FrameRule rule = nullptr;
        // The top-level window the client stands in (the window manager's
        // frame, or the client itself), as last found.
        xcb_window_t topLevel = XCB_NONE;
        QRect lastSeen;
        // The program's latest asks of the client, the newest last.
        std::vector<QRect> asks;
        // Our own last answer, and when it went out.
        QRect answered;
        std::chrono::steady_clock::time_point answeredAt;
        std::chrono::steady_clock::time_point countedFrom;
        int answersCounted = 0;
    };

    X11FrameGuard(xcb_connection_t* c, xcb_window_t root);
    bool select();
    void handle(const xcb_generic_event_t* event);
    void stepped(xcb_window_t topLevel, const QRect& outer);
    // Where each output stands now, as the server says; none when it cannot tell.
    void readOutputs();
    // Finds the clients' top-level windows anew.
    void findTopLevels();
    xcb_window_t topLevelOf(xcb_window_t window);
    // A frame the server told of, and the one it told before; `late`: our
    // own answer, carried out after the program's newer ask.
    struct Step {
        QRect outer, former;
        bool late = false;
    };
    // Asks for the client's frame (its window manager's frame included)
    // inside `area`, from where it stands as the step is answered, its size
    // too only for a resize; a frame that is one of the program's own asks
    // since overtaken by a newer one (`asks`) is answered with the newest.
    void ask(xcb_window_t client, xcb_window_t topLevel, const Step& step, FrameRule rule, const QRect& area,
             const std::vector<QRect>& asks);

    xcb_connection_t* c_;
    xcb_window_t root_;
    std::uint8_t randrEvent_ = 0;
    std::atomic<bool> clientsChanged_ = false;
    std::atomic<std::uint64_t> answers_ = 0;
    std::mutex mutex_;
    std::map<xcb_window_t, Bound> bounds_;
    // The root's children now mapped; the thread's own. A frame the window
    // manager has only begun to make stands at the root's corner a moment.
    std::set<xcb_window_t> mapped_;
    // Each lit output's area; the thread's own.
    std::map<std::uint32_t, QRect> outputs_;
    // Last, so it stops before anything it hands events to goes.
    XcbEventThread events_;
};

} // namespace quorvia::platform::native
