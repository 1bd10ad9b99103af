#include "platform/sound/PCMBuffer.h"

#include <algorithm>

namespace quorvia::platform {

std::optional<PCMBuffer> PCMBuffer::make(const AudioFormat& format, std::uint32_t frameCapacity)
{
    if (format.channelCount <= 0 || frameCapacity == 0)
        return std::nullopt;
    PCMBuffer buffer;
    buffer.format_ = format;
    buffer.capacity_ = frameCapacity;
    buffer.channels_.assign(std::size_t(format.channelCount), std::vector<float>(frameCapacity, 0.0f));
    return buffer;
}

void PCMBuffer::setFrameLength(std::uint32_t frames) { length_ = std::min(frames, capacity_); }

} // namespace quorvia::platform
