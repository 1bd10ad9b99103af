#pragma once

#include "platform/sound/AudioService.h"
#include "platform/linux/sound/PulseAudioService.h"

#include <memory>
#include <vector>

struct pa_operation;
struct pa_stream;

namespace quorvia::platform::native {

class PulseConnection;

// Plays float buffers on one sink through its own stream. A stream the server
// drops ends the buffer as lost.
class PulseAudioPlayer final : public AudioPlayer {
public:
    PulseAudioPlayer(std::shared_ptr<PulseConnection> connection, std::shared_ptr<PulseAudioService::Names> names);
    ~PulseAudioPlayer() override;
    bool bindDevice(AudioDeviceID device) override;
    bool start(const AudioFormat& format) override;
    void scheduleBuffer(const PCMBuffer& buffer, std::function<void(PlaybackEnd)> onFinished) override;
    void play() override;
    void stop() override;

private:
    // Under the connection's lock.
    void finished(PlaybackEnd end);
    void cancelDrain();
    void release();

    std::shared_ptr<PulseConnection> connection_;
    std::shared_ptr<PulseAudioService::Names> names_;
    QByteArray sinkName_;
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    // Kept so that stopping can cancel it: its reply must not reach a player that is gone.
    pa_operation* drain_ = nullptr;
    std::function<void(PlaybackEnd)> onFinished_;
};

// Records one source through its own stream, cut into buffers for the tap. A
// stream the server drops is reported through onInterrupted.
class PulseAudioInput final : public AudioInput {
public:
    PulseAudioInput(std::shared_ptr<PulseConnection> connection, std::shared_ptr<PulseAudioService::Names> names);
    ~PulseAudioInput() override;
    bool bindDevice(AudioDeviceID device) override;
    AudioFormat format() const override { return format_; }
    void installTap(std::uint32_t bufferFrames, Tap tap) override;
    void removeTap() override;
    bool start() override;
    void stop() override;

private:
    // Under the connection's lock, on its thread.
    void readAvailable();
    void streamStateChanged();
    void release();

    std::shared_ptr<PulseConnection> connection_;
    std::shared_ptr<PulseAudioService::Names> names_;
    QByteArray sourceName_;
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    std::uint32_t tapFrames_ = 1024;
    Tap tap_;
    std::function<void()> interrupted_;
    std::vector<float> pending_; // interleaved
};

} // namespace quorvia::platform::native
