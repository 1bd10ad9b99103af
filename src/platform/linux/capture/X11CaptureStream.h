#pragma once

#include "platform/capture/CaptureService.h"
#include "platform/core/MainQueue.h"

#include <QRect>
#include <QRegion>
#include <QSet>
#include <QSocketNotifier>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia::platform::native {

class X11Grabber;

// Captures one display from the X server's root window. The frame clock runs
// on the main loop, where our own windows are read, and damage arriving from
// the server wakes it early, so a change waits for no clock; grabs run on a queue of
// their own, into shared memory, and only when the captured screen changed
// outside the blanked places (XDamage); otherwise an idle frame now and then
// tells the owner the stream is alive.
// Windows of excluded applications and our windows that are left out of
// capture are blanked where they were just before and just after each grab,
// as the server's window events tell. A picture buffer is read again only
// where the screen changed since the picture it holds, and blanked only where
// it is not black already. When that cannot be done for a frame,
// the stream stops with an error rather than deliver it.
class X11CaptureStream final : public CaptureStream, public std::enable_shared_from_this<X11CaptureStream> {
public:
    X11CaptureStream(ContentFilter filter, StreamConfiguration configuration, QRect nativeRegion,
                     double devicePixelRatio, qint64 ownProcessID, CaptureService::StopHandler onStop);
    ~X11CaptureStream() override;

    std::expected<void, CaptureError> addStreamOutput(StreamOutputType type, SerialQueue queue,
                                                      FrameHandler handler) override;
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateConfiguration(const StreamConfiguration& configuration, Completion completion) override;

    // While nothing changes, an idle frame at most this often.
    static constexpr double idleFrameInterval = 0.5;
    // A screen without a new picture for this long counts as still: the clock
    // slows to the idle frames, and the server's events wake the stream.
    static constexpr double stillAfter = 1.0;

    // Whether a picture taken now would equal the last one, given where the
    // screen was damaged since (none: anywhere) and the places blanked in both.
    static bool changesOnlyBlankedPlaces(const std::optional<QRegion>& damage, const std::vector<QRect>& blanked);

private:
    void armClock(double interval);
    void runClock(bool slow);
    void clockTick();
    void watchServer(int descriptor);
    void wake();
    void tick();
    QSet<std::uint32_t> ownWindowsToLeaveOut() const;
    void grab(const QSet<std::uint32_t>& own, double interval);
    void deliver(SampleBuffer buffer, const QSet<std::uint32_t>& blanked);
    void stopOnItsOwn(CaptureError error);
    // Work on the grab queue ends by handing its hold on the stream back to
    // the main queue, so the stream and its queue never die on that queue.
    static void releaseOnMainQueue(std::shared_ptr<X11CaptureStream> self);

    const ContentFilter filter_;
    const QRect region_;
    const double devicePixelRatio_;
    const qint64 ownProcessID_;
    const CaptureService::StopHandler onStop_;
    StreamConfiguration configuration_; // main thread
    std::atomic<bool> showsCursor_;
    FrameHandler handler_;
    std::optional<SerialQueue> outputQueue_;
    SerialQueue grabQueue_;
    std::unique_ptr<Timer> clock_;
    // Main thread: the grab connection's socket, watched while no grab reads it.
    std::unique_ptr<QSocketNotifier> serverWatch_;
    DelayedCall pendingWake_;
    double interval_ = 1.0 / 30.0;
    bool slowClock_ = false; // main thread
    double armedUptime_ = 0; // main thread
    // Set on the grab queue: a picture is due at the next tick whatever the server says.
    std::atomic<bool> followUp_{false};
    double lastTickUptime_ = -1e9;
    std::atomic<double> lastPictureUptime_{-1e9};
    std::unique_ptr<X11Grabber> grabber_; // touched only on grabQueue_
    std::atomic<bool> running_{false};
    std::atomic<bool> grabInFlight_{false};
    std::atomic<bool> stopReported_{false};

    // Grab queue only: what the last delivered picture was made with.
    std::vector<QRect> lastBlanked_;
    // Black in the last picture, in its coordinates.
    QRegion lastLeftOut_;
    // A picture is due even if nothing changes, as the windows moved during the last grab.
    bool owed_ = false;
    QSet<std::uint32_t> lastOwn_;
    bool hasPicture_ = false;
    std::uint64_t pictureSequence_ = 0;
    double lastDeliveryUptime_ = 0;
};

} // namespace quorvia::platform::native
