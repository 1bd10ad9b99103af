#pragma once

#include "platform/core/Geometry.h"
#include "platform/core/MainQueue.h"
#include "platform/capture/SampleBuffer.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia::platform {

using DisplayID = std::uint32_t;

enum class CaptureError {
    contentUnavailable,
    permissionDenied,
    displayUnavailable,
    exclusionUnavailable,
    outputUnavailable,
    startFailed,
    streamInterrupted,
    configurationRejected,
};

QString description(CaptureError error);

struct ShareableDisplay {
    DisplayID displayID = 0;
    // In points, as the display's frame.
    int width = 0;
    int height = 0;
    Rect frame;
    friend bool operator==(const ShareableDisplay&, const ShareableDisplay&) = default;
};

struct ShareableApplication {
    QString bundleIdentifier;
    QString applicationName;
    qint64 processID = 0;
    friend bool operator==(const ShareableApplication&, const ShareableApplication&) = default;
};

struct ShareableContent {
    std::vector<ShareableDisplay> displays;
    std::vector<ShareableApplication> applications;
};

// One display, leaving out every window of the excluded applications.
struct ContentFilter {
    ShareableDisplay display;
    std::vector<ShareableApplication> excludedApplications;
};

// A media time: value / timescale seconds.
struct FrameInterval {
    std::int64_t value = 1;
    std::int32_t timescale = 60;
    double seconds() const { return timescale > 0 ? double(value) / timescale : 0.0; }
    friend bool operator==(const FrameInterval&, const FrameInterval&) = default;
};

enum class PixelFormat { bgra32 };

struct StreamConfiguration {
    int width = 0;
    int height = 0;
    FrameInterval minimumFrameInterval;
    int queueDepth = 8;
    PixelFormat pixelFormat = PixelFormat::bgra32;
    bool showsCursor = true;
    bool capturesAudio = false;
    friend bool operator==(const StreamConfiguration&, const StreamConfiguration&) = default;
};

using StreamID = std::uint64_t;

// A running capture of one display. Completions and the stop report may come
// on any thread; frames come on the queue given to addStreamOutput.
class CaptureStream {
public:
    using Completion = std::function<void(std::optional<CaptureError>)>;
    // The source stream is named by its identifier, so a handler never needs
    // to touch a stream object off the main thread.
    using FrameHandler = std::function<void(StreamID source, const SampleBuffer& buffer, StreamOutputType type)>;

    CaptureStream() : identifier_(nextIdentifier()) {}
    virtual ~CaptureStream() = default;
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    // Unique for the life of the process; never 0.
    StreamID identifier() const { return identifier_; }

    virtual std::expected<void, CaptureError> addStreamOutput(StreamOutputType type, SerialQueue queue,
                                                              FrameHandler handler) = 0;
    virtual void startCapture(Completion completion) = 0;
    virtual void stopCapture(Completion completion) = 0;
    // The stream keeps running while the new configuration takes effect.
    virtual void updateConfiguration(const StreamConfiguration& configuration, Completion completion) = 0;

private:
    static StreamID nextIdentifier()
    {
        static std::atomic<StreamID> counter{0};
        return ++counter;
    }
    StreamID identifier_;
};

// Shareable content and capture streams of the displays.
class CaptureService {
public:
    using ContentCompletion = std::function<void(std::expected<ShareableContent, CaptureError>)>;
    // Called, on any thread, when a stream stops on its own.
    using StopHandler = std::function<void(StreamID source, CaptureError error)>;

    virtual ~CaptureService() = default;

    // Completion on any thread.
    virtual void shareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                                  ContentCompletion completion) = 0;
    virtual std::shared_ptr<CaptureStream> makeStream(const ContentFilter& filter,
                                                      const StreamConfiguration& configuration,
                                                      StopHandler onStopWithError) = 0;
};

} // namespace quorvia::platform
