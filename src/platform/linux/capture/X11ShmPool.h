#pragma once

#include <QImage>
#include <QRegion>
#include <QSize>

#include <functional>

#include <memory>
#include <mutex>
#include <vector>

struct xcb_connection_t;

namespace quorvia::platform::native {

// Shared-memory buffers the X server writes grabs into. A buffer goes out as
// an image over its memory and comes back when the last copy of that image is
// gone, on whatever thread that happens; frames are never copied out.
class X11ShmPool : public std::enable_shared_from_this<X11ShmPool> {
public:
    struct Buffer {
        std::uint32_t segment = 0;
        uchar* memory = nullptr;
        // What its memory holds, kept by the connection's thread: whether a
        // whole picture, what changed on screen since, and where it is black.
        bool holdsPicture = false;
        QRegion changedSince;
        QRegion blanked;
    };

    // None when the server has no shared memory for us.
    static std::shared_ptr<X11ShmPool> create(xcb_connection_t* connection, QSize size, int capacity);
    ~X11ShmPool();

    // The connection's thread. A free buffer, a new one while fewer than the
    // capacity exist, or null.
    Buffer* acquire();
    // Back without having been handed out.
    void giveBack(Buffer* buffer);
    // The image over the buffer's memory; it holds the buffer until released.
    QImage wrap(Buffer* buffer);
    // The connection's thread, before the connection closes: free buffers
    // go now, the others when their images are released.
    void close();

    // The connection's thread: every buffer, handed out or not (only the
    // fields above that the connection's thread keeps may be touched).
    void forEach(const std::function<void(Buffer&)>& visit);

    QSize size() const { return size_; }
    std::size_t bufferCount() const;

    X11ShmPool(xcb_connection_t* connection, QSize size, int capacity);

private:
    struct Handle;
    static void releaseImage(void* handle);
    void release(Buffer* buffer);
    static void unmap(Buffer* buffer);

    xcb_connection_t* const connection_;
    const QSize size_;
    const int capacity_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Buffer>> all_;
    std::vector<Buffer*> free_;
    bool closed_ = false;
};

} // namespace quorvia::platform::native
