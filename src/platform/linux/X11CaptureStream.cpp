#include "platform/linux/X11CaptureStream.h"

#include "platform/Window.h"
#include "platform/linux/X11PictureRefresh.h"
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
        if (pool_)
            scratch_ = X11ShmPool::create(c, region_.size(), 1);
        return tracker.start();
    }

    ~X11Grabber()
    {
        if (pool_)
            pool_->close();
        if (scratch_)
            scratch_->close();
    }

    // Reads every event that has arrived: window changes and damage. A
    // left-out window that moves or goes leaves its picture behind until
    // whatever lies beneath is drawn again, so that place stays blank till then.
    void pumpEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs)
    {
        xcb_connection_t* c = windows.connection();
        QRegion left;
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
                if (was && tracker.frameOf(window) != was) {
                    stale_ += *was;
                    left += *was;
                }
            }
            std::free(event);
        }
        tracker.resolvePending();
        redrawDesktopIn(left);
    }

    // Has the server paint the desktop again where a left-out window stood:
    // a window cut to a shape never covered its rectangle's corners, so
    // nothing else would draw there. Only where the desktop shows is painted,
    // and only the damage of that paint lets a place out of the stale set.
    void redrawDesktopIn(const QRegion& places)
    {
        if (places.isEmpty() || !damage_)
            return;
        xcb_connection_t* c = windows.connection();
        for (const QRect& rect : places)
            xcb_clear_area(c, 1, windows.root(), std::int16_t(rect.x()), std::int16_t(rect.y()),
                           std::uint16_t(rect.width()), std::uint16_t(rect.height()));
        xcb_flush(c);
    }

    // Notes in every picture buffer, and in what changed since the last
    // picture, where the screen was drawn since the last call; without damage
    // tracking, or before the first picture, anything may have changed.
    void noteChanges()
    {
        QRegion damaged;
        std::swap(damaged, damaged_);
        const bool known = damage_ && !first_;
        first_ = false;
        if (!known) {
            sincePicture_.reset();
            if (pool_)
                pool_->forEach([](X11ShmPool::Buffer& b) { b.holdsPicture = false; });
            return;
        }
        if (sincePicture_)
            *sincePicture_ += damaged;
        if (pool_ && !damaged.isEmpty()) {
            const QRegion local = damaged.translated(-region_.topLeft());
            pool_->forEach([&](X11ShmPool::Buffer& b) { b.changedSince += local; });
        }
    }
    // Where the screen changed since the last picture, in root coordinates;
    // none when anything may have.
    const std::optional<QRegion>& changedSincePicture() const { return sincePicture_; }
    // A picture is made, or nothing that changed shows in one.
    void forgetChanges()
    {
        if (damage_)
            sincePicture_ = QRegion();
    }
    // Root rectangles in picture coordinates.
    QRegion local(const std::vector<QRect>& rects) const
    {
        QRegion region;
        for (const QRect& rect : rects)
            region += rect.translated(-region_.topLeft());
        return region & QRect(QPoint(), region_.size());
    }
    QRegion local(const QRegion& root) const
    {
        return root.translated(-region_.topLeft()) & QRect(QPoint(), region_.size());
    }
    int descriptor() const { return xcb_get_file_descriptor(windows.connection()); }

    bool failed() const { return xcb_connection_has_error(windows.connection()) != 0; }

    enum class Grab { picture, busy, refused };

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

    // A picture on its way: the buffer it is in and what of it was read now.
    struct Taken {
        X11ShmPool::Buffer* buffer = nullptr;
        QImage image;
        bool whole = true;
        QRegion grabbed;
    };

    // Reads the screen into a free buffer where it differs from the picture
    // the buffer holds, leaving out what is left out before the grab
    // (picture coordinates); finish() blanks it.
    Grab grab(Taken& taken, const QRegion& leftOutBefore)
    {
        xcb_connection_t* c = windows.connection();
        const int w = region_.width();
        const int h = region_.height();
        if (!pool_) {
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
                taken.image = QImage(xcb_get_image_data(reply), w, h, w * 4, QImage::Format_RGB32).copy();
            std::free(reply);
            return taken.image.isNull() ? Grab::refused : Grab::picture;
        }
        X11ShmPool::Buffer* buffer = pool_->acquire();
        if (!buffer)
            return Grab::busy;
        const QRect bounds(QPoint(), region_.size());
        // Without a scratch buffer to read parts into, the whole screen is read.
        const bool holds = buffer->holdsPicture && scratch_;
        taken.buffer = buffer;
        taken.whole = !holds;
        taken.grabbed = X11PictureRefresh::toGrab(bounds, holds, buffer->changedSince, buffer->blanked, leftOutBefore);
        const bool read = holds ? readParts(*buffer, taken.grabbed) : readWhole(*buffer);
        if (!read) {
            discard(taken);
            return Grab::refused;
        }
        return Grab::picture;
    }

    // Blanks what is left out (before and after the grab, picture
    // coordinates) where it is not black already, and hands the picture out.
    void finish(Taken& taken, const QRegion& leftOut)
    {
        if (taken.buffer) {
            X11ShmPool::Buffer* buffer = taken.buffer;
            const QRegion blank = X11PictureRefresh::toBlank(!taken.whole, taken.grabbed, buffer->blanked, leftOut);
            taken.image = pool_->wrap(buffer);
            X11PictureRefresh::fillBlack(taken.image, blank);
            buffer->holdsPicture = true;
            buffer->changedSince = QRegion();
            buffer->blanked = leftOut;
            return;
        }
        X11PictureRefresh::fillBlack(taken.image, leftOut);
    }

    // A picture not handed out: its buffer is free again, holding nothing known.
    void discard(Taken& taken)
    {
        if (taken.buffer && taken.image.isNull()) {
            taken.buffer->holdsPicture = false;
            pool_->giveBack(taken.buffer);
        }
        taken = {};
    }

    // A picture whose buffer will hold something else than the screen (the
    // cursor drawn into it) is read whole when the buffer comes back.
    static void forgetContent(Taken& taken)
    {
        if (taken.buffer)
            taken.buffer->holdsPicture = false;
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
    bool readWhole(X11ShmPool::Buffer& buffer)
    {
        xcb_connection_t* c = windows.connection();
        xcb_generic_error_t* error = nullptr;
        auto* reply = xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, windows.root(), std::int16_t(region_.x()), std::int16_t(region_.y()),
                              std::uint16_t(region_.width()), std::uint16_t(region_.height()), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, buffer.segment, 0),
            &error);
        std::free(error);
        std::free(reply);
        return reply != nullptr;
    }

    // Reads the region's rectangles, one request each (all sent before the
    // first answer is awaited), into the scratch buffer and copies them into
    // place; a region of many rectangles is read as the one around them.
    bool readParts(X11ShmPool::Buffer& buffer, const QRegion& parts)
    {
        if (parts.isEmpty())
            return true;
        constexpr int mostReads = 16;
        std::vector<QRect> reads;
        if (parts.rectCount() <= mostReads)
            reads.assign(parts.begin(), parts.end());
        else
            reads.push_back(parts.boundingRect());
        X11ShmPool::Buffer* scratch = scratch_->acquire();
        if (!scratch)
            return false;
        xcb_connection_t* c = windows.connection();
        std::vector<xcb_shm_get_image_cookie_t> cookies;
        std::vector<std::size_t> offsets;
        std::size_t offset = 0;
        for (const QRect& r : reads) {
            offsets.push_back(offset);
            cookies.push_back(xcb_shm_get_image(c, windows.root(), std::int16_t(region_.x() + r.x()),
                                                std::int16_t(region_.y() + r.y()), std::uint16_t(r.width()),
                                                std::uint16_t(r.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                scratch->segment, std::uint32_t(offset)));
            offset += std::size_t(r.width()) * std::size_t(r.height()) * 4;
        }
        bool answered = true;
        for (const auto& cookie : cookies) {
            xcb_generic_error_t* error = nullptr;
            auto* reply = xcb_shm_get_image_reply(c, cookie, &error);
            answered = answered && reply;
            std::free(error);
            std::free(reply);
        }
        if (answered) {
            const std::size_t stride = std::size_t(region_.width()) * 4;
            for (std::size_t i = 0; i < reads.size(); ++i) {
                const QRect& read = reads[i];
                const std::size_t readStride = std::size_t(read.width()) * 4;
                for (const QRect& part : parts & read) {
                    const std::size_t bytes = std::size_t(part.width()) * 4;
                    for (int y = part.top(); y <= part.bottom(); ++y)
                        std::memcpy(buffer.memory + std::size_t(y) * stride + std::size_t(part.left()) * 4,
                                    scratch->memory + offsets[i] + std::size_t(y - read.top()) * readStride
                                        + std::size_t(part.left() - read.left()) * 4,
                                    bytes);
                }
            }
        }
        scratch_->giveBack(scratch);
        return answered;
    }

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
    bool first_ = true;
    std::optional<QRegion> sincePicture_;
    std::shared_ptr<X11ShmPool> pool_;
    // Where changed parts of the screen are read before they are copied into place.
    std::shared_ptr<X11ShmPool> scratch_;
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
    armedUptime_ = uptime();
    runClock(false);
}

void X11CaptureStream::runClock(bool slow)
{
    slowClock_ = slow;
    std::weak_ptr<X11CaptureStream> weak = shared_from_this();
    clock_ = Timer::scheduled(slow ? idleFrameInterval : interval_, true, [weak] {
        if (auto self = weak.lock())
            self->clockTick();
    });
}

void X11CaptureStream::clockTick()
{
    // Not again right after a tick that damage woke.
    if (uptime() - lastTickUptime_ >= interval_ / 2)
        tick();
    // On a screen that has been still a while the server's events wake the
    // stream for any change; the clock only keeps the idle frames coming.
    // Nothing is still while a picture is owed or the cursor is drawn in.
    const bool still = !showsCursor_ && !followUp_
                       && uptime() - std::max(double(lastPictureUptime_), armedUptime_) >= stillAfter;
    if (still != slowClock_)
        runClock(still);
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
    if (slowClock_)
        runClock(false);
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
    grabber.noteChanges();
    const bool showsCursor = showsCursor_;
    const std::optional<QRegion> changed = grabber.changedSincePicture();
    if (hasPicture_ && !showsCursor && !owed_ && *before == lastBlanked_ && own == lastOwn_
        && changesOnlyBlankedPlaces(changed, *before)) {
        // Nothing changed that a picture shows: only a sign of life now and then.
        grabber.forgetChanges();
        followUp_ = false;
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

    // Within the frame interval of the last picture the next tick takes it;
    // the changes stay noted till then.
    if (hasPicture_ && uptime() - lastPictureUptime_ < interval * 0.75) {
        followUp_ = true;
        return;
    }
    const QRegion leftOutBefore = grabber.local(*before);
    X11Grabber::Taken taken;
    switch (grabber.grab(taken, leftOutBefore)) {
    case X11Grabber::Grab::picture:
        break;
    case X11Grabber::Grab::busy:
        // Every buffer is still on its way or on screen: try again next tick.
        followUp_ = true;
        return;
    case X11Grabber::Grab::refused:
        stopOnItsOwn(CaptureError::streamInterrupted);
        return;
    }
    // The grab's reply came after every event the server sent before it.
    grabber.pumpEvents(own, processIDs);
    const auto after = grabber.exclusions(own, processIDs);
    if (!after) {
        grabber.discard(taken);
        stopOnItsOwn(CaptureError::exclusionUnavailable);
        return;
    }
    // A window may have moved during the grab: blank where it was and where it is.
    const QRegion leftOut = leftOutBefore + grabber.local(*after);
    grabber.finish(taken, leftOut);
    QImage image = std::move(taken.image);
    if (showsCursor) {
        grabber.drawCursor(image);
        X11Grabber::forgetContent(taken);
    }
    image.setDevicePixelRatio(devicePixelRatio_);
    // What differs from the last picture; the owner repaints only that.
    std::optional<QRegion> dirty;
    if (changed && hasPicture_ && !showsCursor)
        dirty = X11PictureRefresh::changedFromLast(grabber.local(*changed), lastLeftOut_, leftOut);
    lastBlanked_ = *after;
    lastLeftOut_ = leftOut;
    lastOwn_ = own;
    hasPicture_ = true;
    grabber.forgetChanges();
    // Changes during the grab are in the next damage, but where the windows
    // stood before it may differ from where they stand now: grab once more.
    owed_ = *before != *after;
    followUp_ = owed_;

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
