#pragma once

#include "platform/sound/AudioFormat.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvia::platform {

// A block of deinterleaved float samples with a fixed capacity and a filled
// length, as the audio engine hands buffers around.
class PCMBuffer {
public:
    // Nothing when the format has no channels or the capacity is 0.
    static std::optional<PCMBuffer> make(const AudioFormat& format, std::uint32_t frameCapacity);

    const AudioFormat& format() const { return format_; }
    std::uint32_t frameCapacity() const { return capacity_; }
    std::uint32_t frameLength() const { return length_; }
    // Clamped to the capacity.
    void setFrameLength(std::uint32_t frames);

    int channelCount() const { return format_.channelCount; }
    float* channelData(int channel) { return channels_[std::size_t(channel)].data(); }
    const float* channelData(int channel) const { return channels_[std::size_t(channel)].data(); }

private:
    PCMBuffer() = default;
    AudioFormat format_;
    std::uint32_t capacity_ = 0;
    std::uint32_t length_ = 0;
    std::vector<std::vector<float>> channels_;
};

} // namespace quorvia::platform
