#pragma once

#include <QImage>
#include <QRegion>

#include <cstdint>
#include <optional>

namespace quorvia::platform {

// The capture framework's frame status; raw values as the platform numbers
// them, so a value outside the six known ones can be carried and recognised.
enum class FrameStatus : int {
    complete = 0,
    idle = 1,
    blank = 2,
    suspended = 3,
    started = 4,
    stopped = 5,
};

enum class StreamOutputType { screen, audio };

// One captured frame as the stream hands it out. The image is implicitly
// shared, so passing a buffer between queues never copies pixels.
struct SampleBuffer {
    // Raw frame status from the buffer's attachments; absent when the
    // attachments are missing or carry no status.
    std::optional<int> frameStatus;
    // Null when the buffer carries no image.
    QImage image;
    bool isValid = true;
    // Seconds of uptime at which the frame was taken.
    double presentationTime = 0;
    // The picture's place among its stream's pictures, from 1; 0 when unknown.
    std::uint64_t sequence = 0;
    // Where, in its pixels, the picture differs from the stream's picture
    // before it; none when unknown, and then all of it may have changed.
    std::optional<QRegion> dirtyRegion;

    bool hasImage() const { return !image.isNull(); }
};

} // namespace quorvia::platform
