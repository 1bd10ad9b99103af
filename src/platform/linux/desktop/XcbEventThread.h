#pragma once

#include "platform/files/FileDescriptor.h"

#include <xcb/xcb.h>

#include <atomic>
#include <functional>
#include <thread>

namespace quorvia::platform::native {

// Hands each event of one connection to `handle` on a thread of its own, as
// it arrives, until stopped or the connection breaks. The connection stays
// its owner's, who stops this before closing it.
class XcbEventThread {
public:
    explicit XcbEventThread(xcb_connection_t* c);
    ~XcbEventThread() { stop(); }
    XcbEventThread(const XcbEventThread&) = delete;
    XcbEventThread& operator=(const XcbEventThread&) = delete;

    // False when it could not be woken to stop.
    bool isReady() const { return wake_.isOpen(); }
    void start(std::function<void(const xcb_generic_event_t*)> handle);
    // Returns once the thread has ended; nothing is handled after.
    void stop();

private:
    void run();

    xcb_connection_t* c_;
    FileDescriptor wake_;
    std::function<void(const xcb_generic_event_t*)> handle_;
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

} // namespace quorvia::platform::native
