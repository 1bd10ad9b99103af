#include "platform/linux/X11CaptureStream.h"

#include "platform/Window.h"
#include "platform/linux/X11ShmPool.h"
#include "platform/linux/X11WindowTracker.h"
#include "platform/linux/X11Windows.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QWindow>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace quorvia::platform::native {

namespace {
// Buffers in use at once: the one being grabbed, frames on their way and the
// picture on screen.
constexpr int poolCapacity = 5;
} // namespace

// The grab queue's connection: root-window grabs into a shared-memory pool
// (plain image requests where there is none), the window tracker and the
// damage that says whether anything changed.
class X11Grabber {
public:
    X11Windows windows;
    X11WindowTracker tracker{windows};

    bool open(const QRect& region)
    {
        if (!windows.isConnected())
            return false;
        xcb_connection_t* c = windows.connection();
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (!screen || screen->root_depth < 24)
            return false;
        region_ = region.intersected(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels));
        if (region_.isEmpty())
            return false;
        auto* fixes = xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr);
        haveFixes_ = fixes != nullptr;
        std::free(fixes);
        const auto* damageExtension = xcb_get_extension_data(c, &xcb_damage_id);
        if (damageExtension && damageExtension->present) {
            auto* version = xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr);
            if (version) {
                damage_ = xcb_generate_id(c);
                // Every drawing, also where the screen was damaged already: a
                // left-out window that goes leaves its place blank until the
                // server draws there again, and that redrawing may come before
                // the damage it lay in was taken.
                xcb_damage_create(c, damage_, windows.root(), XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                damageEvent_ = damageExtension->first_event + XCB_DAMAGE_NOTIFY;
            }
            std::free(version);
        }
        pool_ = X11ShmPool::create(c, region_.size(), poolCapacity);
        return tracker.start();
    }

    ~X11Grabber()
    {
        if (pool_)
            pool_->close();
    }

    // Reads every event that has arrived: window changes and damage. A
    // left-out window that moves or goes leaves its picture behind until
    // whatever lies beneath is drawn again, so that place stays blank till then.
    void pumpEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs)
    {
        xcb_connection_t* c = windows.connection();
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const std::uint8_t type = event->response_type & ~0x80;
            if (damage_ && type == damageEvent_) {
                const auto* e = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
                const QRect area(e->area.x, e->area.y, e->area.width, e->area.height);
                // Drawn after the window left: what lay beneath shows again.
                stale_ -= area;
                // The root spans every output; what is drawn on the others,
                // the audience window included, is no change of this picture.
                damaged_ += area.intersected(region_);
            } else {
                const std::uint32_t window = changedWindow(event);
                const auto was = window ? tracker.mappedFrameIfAmong(window, own, processIDs) : std::nullopt;
                tracker.handle(event);
                if (was && tracker.frameOf(window) != was)
                    stale_ += *was;
            }
            std::free(event);
        }
        tracker.resolvePending();
    }

    // Where the captured screen may have changed since the last call, in root
    // coordinates; none when anything may have (no damage tracking, or a
    // grab still owed).
    std::optional<QRegion> takeDamage()
    {
        QRegion damaged;
        std::swap(damaged, damaged_);
        if (!damage_ || mustGrab_) {
            mustGrab_ = false;
            return std::nullopt;
        }
        return damaged;
    }
    void keepDamaged() { mustGrab_ = true; }
    // Damage taken and not yet acted on: reported again by the next take.
    void giveBack(const std::optional<QRegion>& damage)
    {
        if (damage)
            damaged_ += *damage;
        else
            mustGrab_ = true;
    }
    int descriptor() const { return xcb_get_file_descriptor(windows.connection()); }

    bool failed() const { return xcb_connection_has_error(windows.connection()) != 0; }

    enum class Grab { picture, busy, refused };

    // The region as 32-bit pixels.
    Grab grab(QImage& image)
    {
        xcb_connection_t* c = windows.connection();
        const int w = region_.width();
        const int h = region_.height();
        if (pool_) {
            X11ShmPool::Buffer* buffer = pool_->acquire();
            if (!buffer)
                return Grab::busy;
            xcb_generic_error_t* error = nullptr;
            auto* reply = xcb_shm_get_image_reply(
                c,
                xcb_shm_get_image(c, windows.root(), std::int16_t(region_.x()), std::int16_t(region_.y()),
                                  std::uint16_t(w), std::uint16_t(h), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                  buffer->segment, 0),
                &error);
            std::free(error);
            if (!reply) {
                pool_->giveBack(buffer);
                return Grab::refused;
            }
            std::free(reply);
            image = pool_->wrap(buffer);
            return Grab::picture;
        }
        xcb_generic_error_t* error = nullptr;
        auto* reply = xcb_get_image_reply(c,
                                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, windows.root(),
                                                        std::int16_t(region_.x()), std::int16_t(region_.y()),
                                                        std::uint16_t(w), std::uint16_t(h), ~0u),
                                          &error);
        std::free(error);
        if (!reply)
            return Grab::refused;
        if (xcb_get_image_data_length(reply) >= w * h * 4)
            image = QImage(xcb_get_image_data(reply), w, h, w * 4, QImage::Format_RGB32).copy();
        std::free(reply);
        return image.isNull() ? Grab::refused : Grab::picture;
    }

    // Rectangles to blank in root coordinates, or none when one of them
    // cannot be known.
    std::optional<std::vector<QRect>> exclusions(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs)
    {
        std::vector<QRect> rects = tracker.framesOf(processIDs);
        for (std::uint32_t id : own) {
            auto frame = tracker.frameOf(id);
            // Not a top-level nor a client the tracker knows: asked for directly.
            if (!frame)
                frame = windows.viewableFrame(id);
            if (!frame)
                return std::nullopt;
            if (!frame->isEmpty())
                rects.push_back(*frame);
        }
        if (failed())
            return std::nullopt;
        for (const QRect& rect : stale_)
            rects.push_back(rect);
        // In a fixed order, so equal lists compare equal.
        std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
            return std::tuple(a.x(), a.y(), a.width(), a.height()) < std::tuple(b.x(), b.y(), b.width(), b.height());
        });
        return rects;
    }

    void blank(QImage& image, const std::vector<QRect>& rects) const
    {
        for (const QRect& root : rects) {
            const QRect r = root.translated(-region_.topLeft()).intersected(image.rect());
            for (int y = r.top(); y <= r.bottom(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
                std::fill_n(row + r.left(), r.width(), QRgb(0xff000000));
            }
        }
    }

    // The server draws the cursor on the screen, not into the root window's
    // picture, so a capture that shows it draws it itself.
    void drawCursor(QImage& image)
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
            QPainter painter(&image);
            painter.drawImage(QPoint(reply->x - reply->xhot - region_.x(), reply->y - reply->yhot - region_.y()),
                              cursor);
        }
        std::free(reply);
    }

private:
    // The window whose place an event changes, or 0.
    static std::uint32_t changedWindow(const xcb_generic_event_t* event)
    {
        switch (event->response_type & ~0x80) {
        case XCB_CONFIGURE_NOTIFY:
            return reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window;
        case XCB_UNMAP_NOTIFY:
            return reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window;
        case XCB_DESTROY_NOTIFY:
            return reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
        case XCB_REPARENT_NOTIFY:
            return reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window;
        case XCB_GRAVITY_NOTIFY:
            return reinterpret_cast<const xcb_gravity_notify_event_t*>(event)->window;
        default:
            return 0;
        }
    }

    bool haveFixes_ = false;
    QRegion stale_;
    QRect region_;
    std::uint32_t damage_ = 0;
    std::uint8_t damageEvent_ = 0;
    QRegion damaged_;
    bool mustGrab_ = true;
    std::shared_ptr<X11ShmPool> pool_;
};

bool X11CaptureStream::changesOnlyBlankedPlaces(const std::optional<QRegion>& damage,
                                                const std::vector<QRect>& blanked)
{
    if (!damage)
        return false;
    // Private windows repaint all the time (a scrolling prompter): under the
    // same blanking the picture cannot differ from the last one.
    QRegion left = *damage;
    for (const QRect& rect : blanked)
        left -= rect;
    return left.isEmpty();
}

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

void X11CaptureStream::releaseOnMainQueue(std::shared_ptr<X11CaptureStream> self)
{
    MainQueue::async([self = std::move(self)] {});
}

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
    grabQueue_.async([self = shared_from_this(), completion = std::move(completion)]() mutable {
        auto grabber = std::make_unique<X11Grabber>();
        if (!grabber->open(self->region_)) {
            completion(CaptureError::startFailed);
            releaseOnMainQueue(std::move(self));
            return;
        }
        const int descriptor = grabber->descriptor();
        self->grabber_ = std::move(grabber);
        self->running_ = true;
        MainQueue::async([self, descriptor] {
            if (!self->running_)
                return;
            self->armClock(self->configuration_.minimumFrameInterval.seconds());
            self->watchServer(descriptor);
        });
        completion(std::nullopt);
        releaseOnMainQueue(std::move(self));
    });
}

void X11CaptureStream::armClock(double interval)
{
    interval_ = std::max(interval, 1.0 / 120.0);
    std::weak_ptr<X11CaptureStream> weak = shared_from_this();
    clock_ = Timer::scheduled(interval_, true, [weak] {
        auto self = weak.lock();
        // Not again right after a tick that damage woke.
        if (self && uptime() - self->lastTickUptime_ >= self->interval_ / 2)
            self->tick();
    });
}

void X11CaptureStream::watchServer(int descriptor)
{
    serverWatch_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    std::weak_ptr<X11CaptureStream> weak = shared_from_this();
    QObject::connect(serverWatch_.get(), &QSocketNotifier::activated, serverWatch_.get(), [weak] {
        if (auto self = weak.lock())
            self->wake();
    });
}

void X11CaptureStream::wake()
{
    // Quiet until a grab has read what came: the socket stays readable till then.
    serverWatch_->setEnabled(false);
    if (!running_)
        return;
    // A picture no sooner than the frame interval after the last one, and
    // ticks not closer than a quarter of it while private windows repaint.
    const double now = uptime();
    const double wait = std::max(lastPictureUptime_ + interval_ - now, lastTickUptime_ + interval_ / 4 - now);
    if (wait <= 0) {
        tick();
        return;
    }
    if (pendingWake_.isScheduled())
        return;
    std::weak_ptr<X11CaptureStream> weak = shared_from_this();
    pendingWake_ = MainQueue::asyncAfter(wait, [weak] {
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
    if (ownExcluded) {
        for (QWindow* window : QGuiApplication::topLevelWindows())
            if (window->isVisible())
                ids.insert(std::uint32_t(window->winId()));
        return ids;
    }
    for (Window* window : Window::allWindows())
        if (window->isVisible() && window->sharingType() == SharingType::none)
            ids.insert(std::uint32_t(window->winId()));
    return ids;
}

void X11CaptureStream::tick()
{
    if (!running_ || grabInFlight_)
        return; // a slow grab drops frames rather than queueing them
    grabInFlight_ = true;
    lastTickUptime_ = uptime();
    pendingWake_.cancel();
    grabQueue_.async([self = shared_from_this(), own = ownWindowsToLeaveOut(), interval = interval_]() mutable {
        self->grab(own, interval);
        self->grabInFlight_ = false;
        MainQueue::async([self = std::move(self)] {
            if (self->serverWatch_)
                self->serverWatch_->setEnabled(true);
        });
    });
}

void X11CaptureStream::deliver(SampleBuffer buffer, const QSet<std::uint32_t>& blanked)
{
    if (!running_ || !outputQueue_)
        return;
    // A window of ours that appeared after the list was taken may be in the
    // picture unblanked: such a frame is dropped.
    if (buffer.hasImage() && !ownWindowsToLeaveOut().subtract(blanked).isEmpty())
        return;
    outputQueue_->async([handler = handler_, id = identifier(), buffer = std::move(buffer)] {
        handler(id, buffer, StreamOutputType::screen);
    });
}

void X11CaptureStream::grab(const QSet<std::uint32_t>& own, double interval)
{
    if (!running_ || !grabber_)
        return;
    X11Grabber& grabber = *grabber_;
    QSet<qint64> processIDs;
    for (const auto& app : filter_.excludedApplications)
        processIDs.insert(app.processID);

    grabber.pumpEvents(own, processIDs);
    const auto before = grabber.exclusions(own, processIDs);
    if (!before) {
        stopOnItsOwn(CaptureError::exclusionUnavailable);
        return;
    }
    const bool showsCursor = showsCursor_;
    const auto damage = grabber.takeDamage();
    if (hasPicture_ && !showsCursor && *before == lastBlanked_ && own == lastOwn_
        && changesOnlyBlankedPlaces(damage, *before)) {
        // Nothing changed: no picture, only a sign of life now and then.
        const double now = uptime();
        if (now - lastDeliveryUptime_ < idleFrameInterval)
            return;
        lastDeliveryUptime_ = now;
        SampleBuffer idle;
        idle.frameStatus = int(FrameStatus::idle);
        idle.presentationTime = now;
        MainQueue::async([self = shared_from_this(), idle = std::move(idle), own] { self->deliver(idle, own); });
        return;
    }

    if (hasPicture_ && uptime() - lastPictureUptime_ < interval * 0.75) {
        // Within the frame interval of the last picture: the next tick takes it.
        grabber.giveBack(damage);
        return;
    }
    QImage image;
    switch (grabber.grab(image)) {
    case X11Grabber::Grab::picture:
        break;
    case X11Grabber::Grab::busy:
        // Every buffer is still on its way or on screen: try again next tick.
        grabber.keepDamaged();
        return;
    case X11Grabber::Grab::refused:
        stopOnItsOwn(CaptureError::streamInterrupted);
        return;
    }
    // The grab's reply came after every event the server sent before it.
    grabber.pumpEvents(own, processIDs);
    const auto after = grabber.exclusions(own, processIDs);
    if (!after) {
        stopOnItsOwn(CaptureError::exclusionUnavailable);
        return;
    }
    // A window may have moved during the grab: blank where it was and where it is.
    grabber.blank(image, *before);
    grabber.blank(image, *after);
    if (showsCursor)
        grabber.drawCursor(image);
    image.setDevicePixelRatio(devicePixelRatio_);
    // What differs from the last picture: what was drawn since, and every
    // place blanked then or now. The owner repaints only that.
    std::optional<QRegion> dirty;
    if (damage && hasPicture_ && !showsCursor) {
        QRegion changed = *damage;
        const std::vector<QRect>& was = lastBlanked_;
        for (const auto* rects : {&was, &*before, &*after})
            for (const QRect& rect : *rects)
                changed += rect;
        dirty = changed.intersected(region_).translated(-region_.topLeft());
    }
    lastBlanked_ = *after;
    lastOwn_ = own;
    hasPicture_ = true;
    // Changes during the grab are in the next damage, but where the windows
    // stood before it may differ from where they stand now: grab once more.
    if (*before != *after)
        grabber.keepDamaged();

    SampleBuffer buffer;
    buffer.frameStatus = int(FrameStatus::complete);
    buffer.image = std::move(image);
    buffer.sequence = ++pictureSequence_;
    buffer.dirtyRegion = std::move(dirty);
    buffer.presentationTime = lastDeliveryUptime_ = lastPictureUptime_ = uptime();
    MainQueue::async([self = shared_from_this(), buffer = std::move(buffer), own] { self->deliver(buffer, own); });
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
    // The socket closes with the grab connection; no watch may outlive it.
    if (MainQueue::isMainThread())
        serverWatch_.reset();
    MainQueue::async([self = shared_from_this()] {
        self->clock_.reset();
        self->serverWatch_.reset();
        self->pendingWake_.cancel();
    });
    // After any grab in flight; the stream lives until then.
    grabQueue_.async([self = shared_from_this(), completion = std::move(completion)]() mutable {
        self->grabber_.reset();
        if (completion)
            completion(std::nullopt);
        releaseOnMainQueue(std::move(self));
    });
}

void X11CaptureStream::updateConfiguration(const StreamConfiguration& configuration, Completion completion)
{
    MainQueue::async([self = shared_from_this(), configuration, completion = std::move(completion)] {
        self->configuration_ = configuration;
        self->showsCursor_ = configuration.showsCursor;
        if (self->running_)
            self->armClock(configuration.minimumFrameInterval.seconds());
        if (completion)
            completion(std::nullopt);
    });
}

} // namespace quorvia::platform::native
