#include "speech/AudioDeviceController.h"

#include "platform/core/MainQueue.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvia {

std::optional<platform::PCMBuffer> AudioDeviceController::makeTestToneBuffer()
{
    auto buffer = platform::PCMBuffer::make({toneSampleRate, 1}, toneFrames);
    if (!buffer)
        return std::nullopt;
    buffer->setFrameLength(toneFrames);
    float* samples = buffer->channelData(0);
    for (std::uint32_t n = 0; n < toneFrames; ++n) {
        const double fadeIn = std::min(1.0, n / double(toneFadeFrames));
        const double fadeOut = std::min(1.0, (toneFrames - n) / double(toneFadeFrames));
        const double phase = 2.0 * std::numbers::pi * toneFrequency * n / toneSampleRate;
        samples[n] = float(std::sin(phase) * toneAmplitude * fadeIn * fadeOut);
    }
    return buffer;
}

void AudioDeviceController::playOutputTestTone(std::function<void(bool)> completion)
{
    stopTestTone();
    const auto output = selectedOutput();
    if (!output) {
        completion(false);
        return;
    }
    auto player = platform::current().audio().makePlayer();
    const auto buffer = makeTestToneBuffer();
    if (!player || !player->bindDevice(output->id) || !buffer) {
        completion(false);
        return;
    }
    if (!player->start(buffer->format())) {
        player->stop();
        completion(false);
        return;
    }
    const std::uint64_t token = ++toneToken_;
    tonePlayer_ = std::move(player);
    tonePlayer_->scheduleBuffer(*buffer, [alive = Alive(life_), token, completion = std::move(completion)](
                                             platform::PlaybackEnd end) {
        platform::MainQueue::async([alive, token, completion, end] {
            if (auto self = alive.lock(); self && (*self)->toneToken_ == token)
                (*self)->stopTestTone();
            // A tone the sound system lost on the way was not heard, so it must
            // not pass for played; one cut off here was wanted.
            completion(end != platform::PlaybackEnd::lost);
        });
    });
    tonePlayer_->play();
}

void AudioDeviceController::stopTestTone()
{
    if (!tonePlayer_)
        return;
    // Moved out first: a player that reports the cut-off buffer at once must
    // find no tone left to stop.
    auto player = std::move(tonePlayer_);
    player->stop();
}

} // namespace quorvia
