#include "platform/linux/capture/X11ShmPool.h"

#include "platform/linux/desktop/XcbExtension.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>

namespace quorvia::platform::native {

struct X11ShmPool::Handle {
    std::shared_ptr<X11ShmPool> pool;
    Buffer* buffer;
};

std::shared_ptr<X11ShmPool> X11ShmPool::create(xcb_connection_t* connection, QSize size, int capacity)
{
    const auto shm = queryXcbExtension(connection, &xcb_shm_id, [connection] {
        return xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
    });
    if (!shm)
        return nullptr;
    auto pool = std::make_shared<X11ShmPool>(connection, size, capacity);
    // One buffer now, so a pool that cannot attach any is never used.
    Buffer* first = pool->acquire();
    if (!first)
        return nullptr;
    pool->giveBack(first);
    return pool;
}

X11ShmPool::X11ShmPool(xcb_connection_t* connection, QSize size, int capacity)
    : connection_(connection), size_(size), capacity_(capacity)
{
}

X11ShmPool::~X11ShmPool()
{
    for (auto& buffer : all_)
        unmap(buffer.get());
}

std::size_t X11ShmPool::bufferCount() const
{
    std::lock_guard lock(mutex_);
    return all_.size();
}

X11ShmPool::Buffer* X11ShmPool::acquire()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return nullptr;
        if (!free_.empty()) {
            Buffer* buffer = free_.back();
            free_.pop_back();
            return buffer;
        }
        if (int(all_.size()) >= capacity_)
            return nullptr;
    }
    const std::size_t bytes = std::size_t(size_.width()) * std::size_t(size_.height()) * 4;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return nullptr;
    void* address = shmat(id, nullptr, 0);
    // Marked for removal now; it lives until both sides detach.
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    auto buffer = std::make_unique<Buffer>();
    buffer->segment = xcb_generate_id(connection_);
    auto* error = xcb_request_check(connection_,
                                    xcb_shm_attach_checked(connection_, buffer->segment, std::uint32_t(id), 0));
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        shmdt(address);
        return nullptr;
    }
    buffer->memory = static_cast<uchar*>(address);
    std::lock_guard lock(mutex_);
    all_.push_back(std::move(buffer));
    return all_.back().get();
}

void X11ShmPool::giveBack(Buffer* buffer) { release(buffer); }

void X11ShmPool::forEach(const std::function<void(Buffer&)>& visit)
{
    std::lock_guard lock(mutex_);
    for (auto& buffer : all_)
        visit(*buffer);
}

QImage X11ShmPool::wrap(Buffer* buffer)
{
    auto* handle = new Handle{shared_from_this(), buffer};
    return QImage(buffer->memory, size_.width(), size_.height(), size_.width() * 4, QImage::Format_RGB32,
                  &X11ShmPool::releaseImage, handle);
}

void X11ShmPool::releaseImage(void* info)
{
    auto* handle = static_cast<Handle*>(info);
    handle->pool->release(handle->buffer);
    delete handle;
}

void X11ShmPool::release(Buffer* buffer)
{
    std::lock_guard lock(mutex_);
    if (!closed_) {
        free_.push_back(buffer);
        return;
    }
    // The server forgot the segment with the connection.
    unmap(buffer);
    all_.erase(std::remove_if(all_.begin(), all_.end(), [&](const auto& b) { return b.get() == buffer; }),
               all_.end());
}

void X11ShmPool::close()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return;
    closed_ = true;
    for (Buffer* buffer : free_) {
        xcb_shm_detach(connection_, buffer->segment);
        unmap(buffer);
        all_.erase(std::remove_if(all_.begin(), all_.end(), [&](const auto& b) { return b.get() == buffer; }),
                   all_.end());
    }
    free_.clear();
    xcb_flush(connection_);
}

void X11ShmPool::unmap(Buffer* buffer)
{
    if (buffer->memory)
        shmdt(buffer->memory);
    buffer->memory = nullptr;
}

} // namespace quorvia::platform::native
