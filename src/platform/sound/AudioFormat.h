#pragma once

namespace quorvia::platform {

// Deinterleaved 32-bit float PCM: the one sample layout our audio path carries.
struct AudioFormat {
    double sampleRate = 0;
    int channelCount = 0;

    bool isUsable() const { return sampleRate > 0 && channelCount > 0; }
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace quorvia::platform
