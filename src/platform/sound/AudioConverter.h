#pragma once

#include "platform/sound/AudioFormat.h"
#include "platform/sound/PCMBuffer.h"

#include <functional>
#include <memory>
#include <vector>

namespace quorvia::platform {

// Converts float PCM between sample rates and channel counts, keeping state
// across calls so a stream cut into buffers resamples without seams.
// Down-mixing averages the channels; resampling interpolates linearly, with a
// box filter over each output period when the rate goes down.
class AudioConverter {
public:
    enum class InputStatus { haveData = 0, noDataNow = 1, endOfStream = 2 };
    enum class OutputStatus { haveData = 0, inputRanDry = 1, endOfStream = 2, error = 3 };
    // Asked for input until it answers something other than haveData.
    using InputBlock = std::function<const PCMBuffer*(InputStatus& status)>;

    // Nothing when either format is unusable.
    static std::unique_ptr<AudioConverter> make(const AudioFormat& from, const AudioFormat& to);

    const AudioFormat& inputFormat() const { return from_; }
    const AudioFormat& outputFormat() const { return to_; }

    // Fills output (from frame 0) with as much as the input gives, up to its capacity.
    OutputStatus convert(PCMBuffer& output, const InputBlock& input);

private:
    AudioConverter(const AudioFormat& from, const AudioFormat& to);
    void append(const PCMBuffer& input);
    std::uint32_t produce(PCMBuffer& output, std::uint32_t at);

    AudioFormat from_;
    AudioFormat to_;
    double step_;                            // input frames per output frame
    std::vector<std::vector<float>> history_; // per output channel, mixed input not yet consumed
    double position_ = 0;                     // of the next output frame, in history frames
};

} // namespace quorvia::platform
