#pragma once

#include "platform/CaptureService.h"

#include <QRect>
#include <QSet>

#include <atomic>
#include <memory>
#include <mutex>

namespace quorvia::platform::native {

class X11Grabber;

// Captures one display from the X server's root window. The frame clock runs
// on the main loop, where our own windows are read; grabs run on a queue of
// their own. Windows of excluded applications and our windows that are left
// out of capture are blanked, read just before and after each grab. When that
// cannot be done for a frame, the stream stops with an error rather than
// deliver it.
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

private:
    void armClock(double interval);
    void tick();
    QSet<std::uint32_t> ownWindowsToLeaveOut() const;
    void grab(QSet<std::uint32_t> own);
    void deliver(SampleBuffer buffer, const QSet<std::uint32_t>& blanked);
    void stopOnItsOwn(CaptureError error);

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
    std::unique_ptr<X11Grabber> grabber_; // touched only on grabQueue_
    std::atomic<bool> running_{false};
    std::atomic<bool> grabInFlight_{false};
    std::atomic<bool> stopReported_{false};
};

} // namespace quorvia::platform::native
