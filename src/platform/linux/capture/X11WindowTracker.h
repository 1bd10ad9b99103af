#pragma once

#include <QRect>
#include <QSet>

#include <xcb/xcb.h>

#include <optional>
#include <unordered_map>
#include <vector>

namespace quorvia::platform::native {

class X11Windows;

// The root window's children as the X server's events describe them: where
// each is, whether it is mapped and whose it is. Only windows that appear or
// map cost requests (batched); a frame's questions are answered from memory.
// Lives on the thread that owns the connection.
class X11WindowTracker {
public:
    explicit X11WindowTracker(X11Windows& windows);

    // Asks for the root's structure events and reads the current children.
    // False when the server does not answer.
    bool start();
    // Takes one event read from the connection; false when it is none of ours.
    bool handle(const xcb_generic_event_t* event);
    // Learns the process of windows mapped since the last call.
    void resolvePending();

    // The on-screen frame of a window given by its own id or by the id of the
    // client inside it; an empty rectangle when it is not mapped; none when
    // the window is not known here.
    std::optional<QRect> frameOf(std::uint32_t window) const;
    // The frames of mapped windows whose client belongs to one of the
    // processes, or to another launch of this program when ours is one.
    std::vector<QRect> framesOf(const QSet<qint64>& processIDs) const;
    // The frame of a mapped top-level window that is one of `windows` (or
    // holds one as its client) or belongs to one of the processes; else none.
    std::optional<QRect> mappedFrameIfAmong(std::uint32_t topLevel, const QSet<std::uint32_t>& windows,
                                            const QSet<qint64>& processIDs) const;

    std::size_t size() const { return tops_.size(); }

private:
    struct Top {
        QRect frame;
        bool mapped = false;
        bool resolved = false;
        std::uint32_t client = 0;
        qint64 processID = 0;
        // Another launch of this program: left out with our own windows.
        bool sameProgram = false;
    };
    bool among(const Top& top, const QSet<qint64>& processIDs) const;
    void add(std::uint32_t window, QRect frame, bool mapped);
    void remove(std::uint32_t window);

    X11Windows& windows_;
    const qint64 ownProcessID_;
    std::unordered_map<std::uint32_t, Top> tops_;
    std::unordered_map<std::uint32_t, std::uint32_t> clientToTop_;
    std::vector<std::uint32_t> pending_;
};

} // namespace quorvia::platform::native
