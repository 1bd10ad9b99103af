#include "platform/sound/AudioConverter.h"

#include <algorithm>
#include <cmath>

namespace quorvia::platform {

std::unique_ptr<AudioConverter> AudioConverter::make(const AudioFormat& from, const AudioFormat& to)
{
    if (!from.isUsable() || !to.isUsable() || !std::isfinite(from.sampleRate) || !std::isfinite(to.sampleRate))
        return nullptr;
    return std::unique_ptr<AudioConverter>(new AudioConverter(from, to));
}

AudioConverter::AudioConverter(const AudioFormat& from, const AudioFormat& to)
    : from_(from), to_(to), step_(from.sampleRate / to.sampleRate), history_(std::size_t(to.channelCount))
{
}

void AudioConverter::append(const PCMBuffer& input)
{
    const int inChannels = input.channelCount();
    const std::uint32_t frames = input.frameLength();
    for (int c = 0; c < to_.channelCount; ++c) {
        auto& line = history_[std::size_t(c)];
        const std::size_t start = line.size();
        line.resize(start + frames);
        for (std::uint32_t f = 0; f < frames; ++f) {
            float value;
            if (to_.channelCount == 1 && inChannels > 1) {
                double sum = 0;
                for (int i = 0; i < inChannels; ++i)
                    sum += input.channelData(i)[f];
                value = float(sum / inChannels);
            } else {
                value = input.channelData(std::min(c, inChannels - 1))[f];
            }
            line[start + f] = value;
        }
    }
}

std::uint32_t AudioConverter::produce(PCMBuffer& output, std::uint32_t at)
{
    const std::size_t available = history_.front().size();
    // Going down in rate, each input frame is first averaged with the frames of
    // one output period before it, so what cannot be kept does not fold back.
    const std::size_t width = step_ > 1.0 ? std::max<std::size_t>(1, std::size_t(std::lround(step_))) : 1;
    const double delay = (double(width) - 1.0) / 2.0;
    const auto boxed = [width](const std::vector<float>& line, std::size_t i) {
        const std::size_t low = i + 1 >= width ? i + 1 - width : 0;
        double sum = 0;
        for (std::size_t k = low; k <= i; ++k)
            sum += line[k];
        return sum / double(i - low + 1);
    };
    while (at < output.frameCapacity()) {
        const double q = position_ + delay;
        const auto i = std::size_t(std::floor(q));
        if (i + 1 >= available)
            break;
        const double t = q - double(i);
        for (int c = 0; c < to_.channelCount; ++c) {
            const auto& line = history_[std::size_t(c)];
            output.channelData(c)[at] = float(boxed(line, i) * (1.0 - t) + boxed(line, i + 1) * t);
        }
        ++at;
        position_ += step_;
    }
    // Keep only what later frames can still read.
    const double keepFrom = std::floor(position_ + delay) - double(width) - 1.0;
    if (keepFrom > 0) {
        const auto drop = std::min(std::size_t(keepFrom), available);
        for (auto& line : history_)
            line.erase(line.begin(), line.begin() + std::ptrdiff_t(drop));
        position_ -= double(drop);
    }
    return at;
}

AudioConverter::OutputStatus AudioConverter::convert(PCMBuffer& output, const InputBlock& input)
{
    if (output.format() != to_)
        return OutputStatus::error;
    std::uint32_t written = produce(output, 0);
    InputStatus status = InputStatus::haveData;
    while (written < output.frameCapacity()) {
        const PCMBuffer* buffer = input(status);
        if (status != InputStatus::haveData || !buffer)
            break;
        if (buffer->format() != from_) {
            output.setFrameLength(written);
            return OutputStatus::error;
        }
        append(*buffer);
        written = produce(output, written);
    }
    output.setFrameLength(written);
    if (status == InputStatus::endOfStream && written == 0)
        return OutputStatus::endOfStream;
    return written > 0 ? OutputStatus::haveData : OutputStatus::inputRanDry;
}

} // namespace quorvia::platform
