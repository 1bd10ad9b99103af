#pragma once

#include "platform/AudioService.h"
#include "platform/linux/PulseAudioService.h"

#include <memory>
#include <vector>

struct pa_stream;

namespace quorvia::platform::native {

class PulseConnection;

// Plays float buffers on one sink through its own stream.
class PulseAudioPlayer final : public AudioPlayer {
public:
    PulseAudioPlayer(std::shared_ptr<PulseConnection> connection, std::shared_ptr<PulseAudioService::Names> names);
    ~PulseAudioPlayer() override;
    bool bindDevice(AudioDeviceID device) override;
    bool start(const AudioFormat& format) override;
    void scheduleBuffer(const PCMBuffer& buffer, std::function<void()> onFinished) override;
    void play() override;
    void stop() override;

    // Under the connection's lock.
    void finished();

private:
    std::shared_ptr<PulseConnection> connection_;
    std::shared_ptr<PulseAudioService::Names> names_;
    QByteArray sinkName_;
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    std::function<void()> onFinished_;
};

// Records one source through its own stream, cut into buffers for the tap.
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

    // Under the connection's lock, on its thread.
    void readAvailable();

private:
    std::shared_ptr<PulseConnection> connection_;
    std::shared_ptr<PulseAudioService::Names> names_;
    QByteArray sourceName_;
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    std::uint32_t tapFrames_ = 1024;
    Tap tap_;
    std::vector<float> pending_; // interleaved
};

} // namespace quorvia::platform::native
