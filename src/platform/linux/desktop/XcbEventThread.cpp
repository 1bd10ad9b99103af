#include "platform/linux/desktop/XcbEventThread.h"

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace quorvia::platform::native {

XcbEventThread::XcbEventThread(xcb_connection_t* c) : c_(c), wake_(::eventfd(0, EFD_CLOEXEC)) {}

void XcbEventThread::start(std::function<void(const xcb_generic_event_t*)> handle)
{
    handle_ = std::move(handle);
    thread_ = std::thread([this] { run(); });
}

void XcbEventThread::stop()
{
    if (!thread_.joinable())
        return;
    const std::uint64_t one = 1;
    stopping_ = true;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

// Replies pull events into xcb's queue: it is emptied before each wait.
void XcbEventThread::run()
{
    pollfd waits[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    while (!stopping_) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            if (!stopping_)
                handle_(event);
            std::free(event);
        }
        if (stopping_ || xcb_connection_has_error(c_))
            return;
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
    }
}

} // namespace quorvia::platform::native
