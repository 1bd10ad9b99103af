#pragma once

#include "platform/sound/AudioService.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvia::test {

// A capture input that plays a 16-bit PCM WAV file into its tap, buffer by
// buffer on its own thread, paced at `speed` times real time, then goes quiet.
class WavFileInput final : public platform::AudioInput {
public:
    WavFileInput(const QString& path, double speed);
    ~WavFileInput() override;

    bool bindDevice(platform::AudioDeviceID) override { return loaded_; }
    platform::AudioFormat format() const override { return format_; }
    void installTap(std::uint32_t bufferFrames, Tap tap) override;
    void removeTap() override;
    bool start() override;
    void stop() override;

    bool finished() const { return finished_; }
    // Asked before each buffer; while it answers true the input waits, as a
    // slow reader would make a real microphone drop audio instead.
    std::function<bool()> holdWhile;

private:
    void run();
    platform::AudioFormat format_;
    std::vector<std::vector<float>> channels_;
    std::uint32_t frames_ = 0;
    bool loaded_ = false;
    double speed_;
    std::uint32_t bufferFrames_ = 1024;
    std::mutex tapMutex_;
    Tap tap_;
    std::thread thread_;
    std::atomic<bool> stopping_ = false;
    std::atomic<bool> finished_ = false;
};

} // namespace quorvia::test
