#include "platform/linux/capture/X11CaptureStream.h"

#include "platform/desktop/Window.h"
#include "platform/linux/capture/X11Grabber.h"
#include "platform/linux/capture/X11PictureRefresh.h"

#include <QGuiApplication>
#include <QRegion>
#include <QWindow>

#include <algorithm>

namespace quorvia::platform::native {

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
        if (const auto error = grabber->open(self->region_)) {
            completion(*error);
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

    const bool showsCursor = showsCursor_;
    X11Grabber::Frame frame = grabber.takeFrame(
        own, processIDs, showsCursor, [&](const std::vector<QRect>& before, const std::optional<QRegion>& changed) {
            if (hasPicture_ && !showsCursor && !owed_ && before == lastBlanked_ && own == lastOwn_
                && changesOnlyBlankedPlaces(changed, before))
                return X11Grabber::Wanted::nothingNew;
            // Within the frame interval of the last picture the next tick
            // takes it; the changes stay noted till then.
            if (hasPicture_ && uptime() - lastPictureUptime_ < interval * 0.75)
                return X11Grabber::Wanted::later;
            return X11Grabber::Wanted::picture;
        });
    using Outcome = X11Grabber::Frame::Outcome;
    switch (frame.outcome) {
    case Outcome::picture:
        break;
    case Outcome::nothingNew: {
        // Nothing changed that a picture shows: only a sign of life now and then.
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
    case Outcome::later:
    case Outcome::busy:
        // Too soon after the last picture, or every buffer still on its way
        // or on screen: the next tick takes it.
        followUp_ = true;
        return;
    case Outcome::refused:
        stopOnItsOwn(CaptureError::streamInterrupted);
        return;
    case Outcome::exclusionUnknown:
        stopOnItsOwn(CaptureError::exclusionUnavailable);
        return;
    }
    QImage image = std::move(frame.image);
    image.setDevicePixelRatio(devicePixelRatio_);
    // What differs from the last picture; the owner repaints only that.
    std::optional<QRegion> dirty;
    if (frame.changed && hasPicture_ && !showsCursor)
        dirty = X11PictureRefresh::changedFromLast(*frame.changed, lastLeftOut_, frame.leftOut);
    lastBlanked_ = frame.blankedAfter;
    lastLeftOut_ = frame.leftOut;
    lastOwn_ = own;
    hasPicture_ = true;
    // Changes during the grab are in the next damage, but where the windows
    // stood before it may differ from where they stand now: grab once more.
    owed_ = frame.blankedBefore != frame.blankedAfter;
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
