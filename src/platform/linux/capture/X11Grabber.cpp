#include "platform/linux/capture/X11Grabber.h"

#include "platform/linux/capture/X11PictureRefresh.h"
#include "platform/linux/desktop/XcbExtension.h"

#include <QPainter>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

namespace quorvia::platform::native {

namespace {
// Buffers in use at once: the one being grabbed, frames on their way and the
// picture on screen.
constexpr int poolCapacity = 5;
} // namespace

std::optional<CaptureError> X11Grabber::open(const QRect& region)
{
    if (!windows_.isConnected())
        return CaptureError::displayUnavailable;
    xcb_connection_t* c = windows_.connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return CaptureError::displayUnavailable;
    // Pictures are 32 bits a pixel.
    if (screen->root_depth < 24)
        return CaptureError::startFailed;
    region_ = region.intersected(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels));
    if (region_.isEmpty())
        return CaptureError::displayUnavailable;
    // Without XFixes the cursor is not drawn in, and our exposing windows
    // take the pointer's crossings like any window.
    const auto fixes = queryXcbExtension(
        c, &xcb_xfixes_id, [c] { return xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr); });
    haveFixes_ = bool(fixes);
    if (fixes && fixes.version->major_version >= 2) {
        noInput_ = xcb_generate_id(c);
        xcb_xfixes_create_region(c, noInput_, 0, nullptr);
    }
    // Without DAMAGE the capture still runs, reading the whole screen for
    // every picture; but no drawing is ever reported, so a place a left-out
    // window left is never released: it stays blank until the stream ends.
    const auto damage = queryXcbExtension(
        c, &xcb_damage_id, [c] { return xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr); });
    if (damage) {
        damage_ = xcb_generate_id(c);
        // Every drawing, also where the screen was damaged already: a
        // left-out window that goes leaves its place blank until the
        // server draws there again, and that redrawing may come before
        // the damage it lay in was taken.
        xcb_damage_create(c, damage_, windows_.root(), XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        damageEvent_ = damage.data->first_event + XCB_DAMAGE_NOTIFY;
    }
    // Without MIT-SHM every picture is read whole by plain image requests.
    pool_ = X11ShmPool::create(c, region_.size(), poolCapacity);
    if (pool_)
        scratch_ = X11ShmPool::create(c, region_.size(), 1);
    if (!tracker_.start())
        return CaptureError::exclusionUnavailable;
    if (failed())
        return CaptureError::startFailed;
    return std::nullopt;
}

X11Grabber::~X11Grabber()
{
    if (pool_)
        pool_->close();
    if (scratch_)
        scratch_->close();
}

X11Grabber::Frame X11Grabber::takeFrame(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs,
                                        bool showsCursor, const Judge& judge)
{
    Frame frame;
    pumpEvents(own, processIDs);
    // The picture read next shows the screen as the events read so far left
    // it; events read after it may have come before the read or after it.
    leftPlaces_.pictureStarts();
    const auto before = exclusions(own, processIDs);
    if (!before) {
        frame.outcome = Frame::Outcome::exclusionUnknown;
        return frame;
    }
    frame.blankedBefore = *before;
    noteChanges();
    const std::optional<QRegion> changed = sincePicture_;
    switch (judge(*before, changed)) {
    case Wanted::nothingNew:
        forgetChanges();
        frame.outcome = Frame::Outcome::nothingNew;
        return frame;
    case Wanted::later:
        frame.outcome = Frame::Outcome::later;
        return frame;
    case Wanted::picture:
        break;
    }
    const QRegion leftOutBefore = local(*before);
    Taken taken;
    switch (grab(taken, leftOutBefore)) {
    case Grab::picture:
        break;
    case Grab::busy:
        frame.outcome = Frame::Outcome::busy;
        return frame;
    case Grab::refused:
        frame.outcome = Frame::Outcome::refused;
        return frame;
    }
    if (onGrabbed)
        onGrabbed();
    // The grab's reply came after every event the server sent before it.
    pumpEvents(own, processIDs);
    const auto after = exclusions(own, processIDs);
    if (!after) {
        discard(taken);
        frame.outcome = Frame::Outcome::exclusionUnknown;
        return frame;
    }
    // A window may have moved during the grab: blank where it was and where it is.
    frame.leftOut = leftOutBefore + local(*after);
    finish(taken, frame.leftOut);
    if (showsCursor)
        drawCursor(taken);
    frame.image = std::move(taken.image);
    frame.blankedAfter = *after;
    if (changed)
        frame.changed = local(*changed);
    forgetChanges();
    frame.outcome = Frame::Outcome::picture;
    return frame;
}

void X11Grabber::sync()
{
    xcb_connection_t* c = windows_.connection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void X11Grabber::pumpEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs)
{
    const QRegion left = readEvents(own, processIDs);
    if (left.isEmpty() || !exposeBeneath(left))
        return;
    // The server paints the desktop and the windows with a background of
    // their own as it exposes them: read that now, so the places show again
    // in the picture about to be taken. What programs draw comes later.
    sync();
    exposeBeneath(readEvents(own, processIDs));
}

QRegion X11Grabber::readEvents(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs)
{
    xcb_connection_t* c = windows_.connection();
    QRegion left;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        const std::uint8_t type = event->response_type & ~0x80;
        if (damage_ && type == damageEvent_) {
            const auto* e = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            const QRect area(e->area.x, e->area.y, e->area.width, e->area.height);
            leftPlaces_.drawn(area);
            // The root spans every output; what is drawn on the others,
            // the audience window included, is no change of this picture.
            damaged_ += area.intersected(region_);
        } else if (const std::uint32_t exposing = exposingWindowOf(event)) {
            // Our exposing windows come and go unseen. The server exposes
            // what lies beneath right after one is taken off the screen.
            if (type == XCB_UNMAP_NOTIFY)
                leftPlaces_.exposingWindowGone(exposingWindows_.value(exposing));
            else if (type == XCB_DESTROY_NOTIFY)
                exposingWindows_.remove(exposing);
        } else {
            const std::uint32_t window = changedWindow(event);
            // A window mapped earlier in this pump is known as whose only once asked.
            if (window)
                tracker_.resolvePending();
            const auto was = window ? tracker_.mappedFrameIfAmong(window, own, processIDs) : std::nullopt;
            tracker_.handle(event);
            if (was && tracker_.frameOf(window) != was) {
                leftPlaces_.left(*was);
                left += *was;
            }
        }
        std::free(event);
    }
    tracker_.resolvePending();
    return left;
}

bool X11Grabber::exposeBeneath(const QRegion& places)
{
    // Without damage no drawing would release the places (see open()).
    if (places.isEmpty() || !damage_)
        return false;
    xcb_connection_t* c = windows_.connection();
    std::vector<QRect> rects(places.begin(), places.end());
    constexpr std::size_t mostWindows = 8;
    if (rects.size() > mostWindows)
        rects = {places.boundingRect()};
    // A window that draws nothing, shown over the place and gone at once:
    // what lies beneath is exposed as when any window goes away.
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1};
    for (const QRect& rect : rects) {
        if (rect.isEmpty())
            continue;
        const xcb_window_t exposing = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, exposing, windows_.root(), std::int16_t(rect.x()),
                          std::int16_t(rect.y()), std::uint16_t(rect.width()), std::uint16_t(rect.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        // Nothing for the pointer: the windows beneath it see no leave and enter.
        if (noInput_)
            xcb_xfixes_set_window_shape_region(c, exposing, XCB_SHAPE_SK_INPUT, 0, 0, noInput_);
        xcb_map_window(c, exposing);
        xcb_destroy_window(c, exposing);
        exposingWindows_.insert(exposing, rect);
    }
    xcb_flush(c);
    return true;
}

void X11Grabber::noteChanges()
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

void X11Grabber::forgetChanges()
{
    if (damage_)
        sincePicture_ = QRegion();
}

QRegion X11Grabber::local(const std::vector<QRect>& rects) const
{
    QRegion region;
    for (const QRect& rect : rects)
        region += rect.translated(-region_.topLeft());
    return region & QRect(QPoint(), region_.size());
}

QRegion X11Grabber::local(const QRegion& root) const
{
    return root.translated(-region_.topLeft()) & QRect(QPoint(), region_.size());
}

std::optional<std::vector<QRect>> X11Grabber::exclusions(const QSet<std::uint32_t>& own, const QSet<qint64>& processIDs)
{
    std::vector<QRect> rects = tracker_.framesOf(processIDs);
    for (std::uint32_t id : own) {
        auto frame = tracker_.frameOf(id);
        // Not a top-level nor a client the tracker knows: asked for directly.
        if (!frame)
            frame = windows_.viewableFrame(id);
        if (!frame)
            return std::nullopt;
        if (!frame->isEmpty())
            rects.push_back(*frame);
    }
    if (failed())
        return std::nullopt;
    for (const QRect& rect : leftPlaces_.toBlank())
        rects.push_back(rect);
    // In a fixed order, so equal lists compare equal.
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return std::tuple(a.x(), a.y(), a.width(), a.height()) < std::tuple(b.x(), b.y(), b.width(), b.height());
    });
    return rects;
}

X11Grabber::Grab X11Grabber::grab(Taken& taken, const QRegion& leftOutBefore)
{
    xcb_connection_t* c = windows_.connection();
    const int w = region_.width();
    const int h = region_.height();
    if (!pool_) {
        xcb_generic_error_t* error = nullptr;
        auto* reply = xcb_get_image_reply(c,
                                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, windows_.root(),
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

void X11Grabber::finish(Taken& taken, const QRegion& leftOut)
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

void X11Grabber::discard(Taken& taken)
{
    if (taken.buffer && taken.image.isNull()) {
        taken.buffer->holdsPicture = false;
        pool_->giveBack(taken.buffer);
    }
    taken = {};
}

void X11Grabber::drawCursor(Taken& taken)
{
    if (taken.buffer)
        taken.buffer->holdsPicture = false;
    if (!haveFixes_)
        return;
    xcb_connection_t* c = windows_.connection();
    auto* reply = xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr);
    if (!reply)
        return;
    const int w = reply->width;
    const int h = reply->height;
    if (w > 0 && h > 0 && xcb_xfixes_get_cursor_image_cursor_image_length(reply) >= w * h) {
        QImage cursor(reinterpret_cast<const uchar*>(xcb_xfixes_get_cursor_image_cursor_image(reply)), w, h,
                      w * 4, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&taken.image);
        painter.drawImage(QPoint(reply->x - reply->xhot - region_.x(), reply->y - reply->yhot - region_.y()),
                          cursor);
    }
    std::free(reply);
}

bool X11Grabber::readWhole(X11ShmPool::Buffer& buffer)
{
    xcb_connection_t* c = windows_.connection();
    xcb_generic_error_t* error = nullptr;
    auto* reply = xcb_shm_get_image_reply(
        c,
        xcb_shm_get_image(c, windows_.root(), std::int16_t(region_.x()), std::int16_t(region_.y()),
                          std::uint16_t(region_.width()), std::uint16_t(region_.height()), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, buffer.segment, 0),
        &error);
    std::free(error);
    std::free(reply);
    return reply != nullptr;
}

bool X11Grabber::readParts(X11ShmPool::Buffer& buffer, const QRegion& parts)
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
    xcb_connection_t* c = windows_.connection();
    std::vector<xcb_shm_get_image_cookie_t> cookies;
    std::vector<std::size_t> offsets;
    std::size_t offset = 0;
    for (const QRect& r : reads) {
        offsets.push_back(offset);
        cookies.push_back(xcb_shm_get_image(c, windows_.root(), std::int16_t(region_.x() + r.x()),
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

std::uint32_t X11Grabber::exposingWindowOf(const xcb_generic_event_t* event) const
{
    if (exposingWindows_.isEmpty())
        return 0;
    std::uint32_t window = 0;
    switch (event->response_type & ~0x80) {
    case XCB_CREATE_NOTIFY:
        window = reinterpret_cast<const xcb_create_notify_event_t*>(event)->window;
        break;
    case XCB_MAP_NOTIFY:
        window = reinterpret_cast<const xcb_map_notify_event_t*>(event)->window;
        break;
    default:
        window = changedWindow(event);
    }
    return exposingWindows_.contains(window) ? window : 0;
}

std::uint32_t X11Grabber::changedWindow(const xcb_generic_event_t* event)
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

} // namespace quorvia::platform::native
