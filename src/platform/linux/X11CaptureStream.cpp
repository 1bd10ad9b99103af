#include "platform/linux/X11CaptureStream.h"

#include "platform/Window.h"
#include "platform/linux/X11Windows.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSet>
#include <QWindow>

#include <xcb/shm.h>
#include <xcb/xfixes.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

namespace quorvia::platform::native {

// Root-window grabs over shared memory, falling back to plain image requests.
class X11Grabber {
public:
    X11Windows windows;

    bool open(const QRect& region)
    {
        if (!windows.isConnected())
            return false;
        xcb_connection_t* c = windows.connection();
        const xcb_setup_t* setup = xcb_get_setup(c);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
        if (!screen || screen->root_depth < 24)
            return false;
        region_ = region.intersected(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels));
        if (region_.isEmpty())
            return false;
        const std::size_t size = std::size_t(region_.width()) * std::size_t(region_.height()) * 4;
        auto* fixes = xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr);
        haveFixes_ = fixes != nullptr;
        std::free(fixes);
        auto* version = xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr);
        const bool haveShm = version != nullptr;
        std::free(version);
        if (haveShm) {
            const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
            if (id >= 0) {
                void* addr = shmat(id, nullptr, 0);
                if (addr != reinterpret_cast<void*>(-1)) {
                    segment_ = xcb_generate_id(c);
                    auto* error = xcb_request_check(c, xcb_shm_attach_checked(c, segment_, std::uint32_t(id), 0));
                    if (!error) {
                        memory_ = static_cast<uchar*>(addr);
                    } else {
                        std::free(error);
                        shmdt(addr);
                        segment_ = 0;
                    }
                }
                // Marked for removal now; it lives until both sides detach.
                shmctl(id, IPC_RMID, nullptr);
            }
        }
        return true;
    }

    ~X11Grabber()
    {
        if (memory_) {
            xcb_shm_detach(windows.connection(), segment_);
            xcb_flush(windows.connection());
            shmdt(memory_);
        }
    }

    // The region as 32-bit pixels; a null image when the server refused.
    QImage grab()
    {
        xcb_connection_t* c = windows.connection();
        const int w = region_.width();
        const int h = region_.height();
        if (memory_) {
            xcb_generic_error_t* error = nullptr;
            auto* reply = xcb_shm_get_image_reply(
                c,
                xcb_shm_get_image(c, windows.root(), std::int16_t(region_.x()), std::int16_t(region_.y()),
                                  std::uint16_t(w), std::uint16_t(h), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
                &error);
            std::free(error);
            if (!reply)
                return {};
            std::free(reply);
            // Copied out, since the next grab reuses the segment.
            return QImage(memory_, w, h, w * 4, QImage::Format_RGB32).copy();
        }
        xcb_generic_error_t* error = nullptr;
        auto* reply = xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, windows.root(), std::int16_t(region_.x()),
                          std::int16_t(region_.y()), std::uint16_t(w), std::uint16_t(h), ~0u),
            &error);
        std::free(error);
        if (!reply)
            return {};
        QImage image;
        if (xcb_get_image_data_length(reply) >= w * h * 4)
            image = QImage(xcb_get_image_data(reply), w, h, w * 4, QImage::Format_RGB32).copy();
        std::free(reply);
        return image;
    }

    // The server draws the cursor on the screen, not into the root window's
    // picture, so a capture that shows it draws it itself.
    void drawCursor(QPainter& painter)
    {
        if (!haveFixes_)
            return;
        xcb_connection_t* c = windows.connection();
        auto* reply = xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr);
        if (!reply)
            return;
        const int w = reply->width;
        const int h = reply->height;
        if (w > 0 && h > 0 && xcb_xfixes_get_cursor_image_cursor_image_length(reply) >= w * h) {
            QImage cursor(reinterpret_cast<const uchar*>(xcb_xfixes_get_cursor_image_cursor_image(reply)), w, h,
                          w * 4, QImage::Format_ARGB32_Premultiplied);
            painter.drawImage(QPoint(reply->x - reply->xhot - region_.x(), reply->y - reply->yhot - region_.y()),
                              cursor);
        }
        std::free(reply);
    }

    const QRect& region() const { return region_; }

private:
    bool haveFixes_ = false;
    QRect region_;
    std::uint32_t segment_ = 0;
    uchar* memory_ = nullptr;
};

X11CaptureStream::X11CaptureStream(ContentFilter filter, StreamConfiguration configuration, QRect nativeRegion,
                                   double devicePixelRatio, qint64 ownProcessID, CaptureService::StopHandler onStop)
    : filter_(std::move(filter)),
      region_(nativeRegion),
      devicePixelRatio_(devicePixelRatio),
      ownProcessID_(ownProcessID),
      onStop_(std::move(onStop)),
      configuration_(std::move(configuration)),
      showsCursor_(configuration_.showsCursor),
      grabQueue_(QStringLiteral("com.local.quorvia.capture-grab"))
{
}

X11CaptureStream::~X11CaptureStream() = default;

std::expected<void, CaptureError> X11CaptureStream::addStreamOutput(StreamOutputType type, SerialQueue queue,
                                                                    FrameHandler handler)
{
    // Only the picture is captured.
    if (type != StreamOutputType::screen || !handler)
        return std::unexpected(CaptureError::outputUnavailable);
    outputQueue_ = std::move(queue);
    handler_ = std::move(handler);
    return {};
}

void X11CaptureStream::startCapture(Completion completion)
{
    if (!handler_ || running_) {
        completion(CaptureError::startFailed);
        return;
    }
    auto self = shared_from_this();
    grabQueue_.async([self, completion = std::move(completion)] {
        auto grabber = std::make_unique<X11Grabber>();
        if (!grabber->open(self->region_)) {
            completion(CaptureError::startFailed);
            return;
        }
        self->grabber_ = std::move(grabber);
        self->running_ = true;
        MainQueue::async([self] {
            if (self->running_)
                self->armClock(self->configuration_.minimumFrameInterval.seconds());
        });
        completion(std::nullopt);
    });
}

void X11CaptureStream::armClock(double interval)
{
    std::weak_ptr<X11CaptureStream> weak = shared_from_this();
    clock_ = Timer::scheduled(std::max(interval, 1.0 / 120.0), true, [weak] {
        if (auto self = weak.lock())
            self->tick();
    });
}

QSet<std::uint32_t> X11CaptureStream::ownWindowsToLeaveOut() const
{
    // Every visible window when this application is excluded, else those
    // whose sharing type is none.
    bool ownExcluded = false;
    for (const auto& app : filter_.excludedApplications)
        ownExcluded = ownExcluded || app.processID == ownProcessID_;
    QSet<std::uint32_t> ids;
    for (Window* window : Window::allWindows())
        if (window->isVisible() && (ownExcluded || window->sharingType() == SharingType::none))
            ids.insert(std::uint32_t(window->winId()));
    if (ownExcluded)
        for (QWindow* window : QGuiApplication::topLevelWindows())
            if (window->isVisible())
                ids.insert(std::uint32_t(window->winId()));
    return ids;
}

void X11CaptureStream::tick()
{
    if (!running_ || grabInFlight_)
        return; // a slow grab drops frames rather than queueing them
    grabInFlight_ = true;
    auto self = shared_from_this();
    grabQueue_.async([self, own = ownWindowsToLeaveOut()] { self->grab(own); });
}

void X11CaptureStream::deliver(SampleBuffer buffer, const QSet<std::uint32_t>& blanked)
{
    // A window of ours that appeared after the list was taken may be in the
    // picture unblanked: such a frame is dropped.
    if (!running_ || !ownWindowsToLeaveOut().subtract(blanked).isEmpty() || !outputQueue_)
        return;
    outputQueue_->async([handler = handler_, id = identifier(), buffer] {
        handler(id, buffer, StreamOutputType::screen);
    });
}

namespace {
// Rectangles to blank, or none when one of them cannot be known.
std::optional<std::vector<QRect>> exclusions(X11Windows& windows, const std::vector<std::uint32_t>& own,
                                             const QSet<qint64>& pids)
{
    std::vector<QRect> rects;
    for (std::uint32_t id : own) {
        const auto frame = windows.viewableFrame(id);
        if (!frame)
            return std::nullopt;
        if (!frame->isEmpty())
            rects.push_back(*frame);
    }
    if (!pids.isEmpty()) {
        const auto tops = windows.topLevels();
        if (!tops)
            return std::nullopt;
        for (const auto& top : *tops)
            if (top.processID != 0 && pids.contains(top.processID))
                rects.push_back(top.frame);
    }
    return rects;
}
} // namespace

void X11CaptureStream::grab(QSet<std::uint32_t> own)
{
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = false; }
    } done{grabInFlight_};
    if (!running_ || !grabber_)
        return;
    QSet<qint64> pids;
    for (const auto& app : filter_.excludedApplications)
        pids.insert(app.processID);

    const std::vector<std::uint32_t> ownWindows(own.begin(), own.end());
    const auto before = exclusions(grabber_->windows, ownWindows, pids);
    QImage image = before ? grabber_->grab() : QImage();
    const auto after = before ? exclusions(grabber_->windows, ownWindows, pids) : std::nullopt;
    if (!before || !after || image.isNull()) {
        stopOnItsOwn(image.isNull() && before && after ? CaptureError::streamInterrupted
                                                       : CaptureError::exclusionUnavailable);
        return;
    }
    // A window may have moved during the grab: blank where it was and where it is.
    QPainter painter(&image);
    const QPoint origin = grabber_->region().topLeft();
    for (const auto* list : {&*before, &*after})
        for (const QRect& rect : *list)
            painter.fillRect(rect.translated(-origin), Qt::black);
    if (showsCursor_)
        grabber_->drawCursor(painter);
    painter.end();
    image.setDevicePixelRatio(devicePixelRatio_);

    SampleBuffer buffer;
    buffer.frameStatus = int(FrameStatus::complete);
    buffer.image = std::move(image);
    buffer.presentationTime = uptime();
    MainQueue::async([self = shared_from_this(), buffer = std::move(buffer), own = std::move(own)] {
        self->deliver(buffer, own);
    });
}

void X11CaptureStream::stopOnItsOwn(CaptureError error)
{
    running_ = false;
    if (!stopReported_.exchange(true) && onStop_)
        onStop_(identifier(), error);
}

void X11CaptureStream::stopCapture(Completion completion)
{
    running_ = false;
    auto self = shared_from_this();
    MainQueue::async([self] { self->clock_.reset(); });
    // After any grab in flight; the stream lives until then.
    grabQueue_.async([self, completion = std::move(completion)] {
        self->grabber_.reset();
        if (completion)
            completion(std::nullopt);
    });
}

void X11CaptureStream::updateConfiguration(const StreamConfiguration& configuration, Completion completion)
{
    auto self = shared_from_this();
    MainQueue::async([self, configuration, completion = std::move(completion)] {
        self->configuration_ = configuration;
        self->showsCursor_ = configuration.showsCursor;
        if (self->running_)
            self->armClock(configuration.minimumFrameInterval.seconds());
        if (completion)
            completion(std::nullopt);
    });
}

} // namespace quorvia::platform::native
