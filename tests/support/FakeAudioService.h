#pragma once

#include "platform/sound/AudioService.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace quorvia::test {

class FakeAudioService;

// Records what the controller asks of it; the test says when the buffer has played.
class FakeAudioPlayer final : public platform::AudioPlayer {
public:
    explicit FakeAudioPlayer(FakeAudioService& owner) : owner_(owner) {}
    ~FakeAudioPlayer() override;
    bool bindDevice(platform::AudioDeviceID device) override;
    bool start(const platform::AudioFormat& format) override;
    void scheduleBuffer(const platform::PCMBuffer& buffer, std::function<void(platform::PlaybackEnd)> onFinished) override;
    void play() override { playing = true; }
    void stop() override;

    // Reports how the scheduled buffer ended, on the calling thread.
    void finishBuffer(platform::PlaybackEnd end = platform::PlaybackEnd::played);

    std::optional<platform::AudioDeviceID> boundDevice;
    std::optional<platform::AudioFormat> startedFormat;
    std::optional<platform::PCMBuffer> scheduled;
    bool playing = false;
    bool stopped = false;

private:
    FakeAudioService& owner_;
    std::function<void(platform::PlaybackEnd)> onFinished_;
};

// Captures nothing by itself: the test pushes buffers through the tap.
class FakeAudioInput final : public platform::AudioInput {
public:
    explicit FakeAudioInput(FakeAudioService& owner) : owner_(owner) {}
    ~FakeAudioInput() override;
    bool bindDevice(platform::AudioDeviceID device) override;
    platform::AudioFormat format() const override;
    void installTap(std::uint32_t bufferFrames, Tap tap) override;
    void removeTap() override;
    bool start() override;
    void stop() override { running = false; }

    // Runs the tap on the calling thread, if one is installed; false otherwise.
    bool deliver(const platform::PCMBuffer& buffer);

    std::optional<platform::AudioDeviceID> boundDevice;
    std::uint32_t tapFrames = 0;
    bool running = false;

private:
    FakeAudioService& owner_;
    mutable std::mutex tapMutex_;
    Tap tap_;
};

// A deterministic sound system: devices, defaults and refusals as the test sets
// them; players and inputs are kept so tests can drive them.
class FakeAudioService final : public platform::AudioService {
public:
    std::vector<platform::AudioDeviceInfo> devices() override
    {
        ++serverQuestions;
        return deviceList;
    }
    std::optional<platform::AudioDeviceID> defaultInputDevice() override
    {
        ++serverQuestions;
        return defaultInput;
    }
    std::optional<platform::AudioDeviceID> defaultOutputDevice() override
    {
        ++serverQuestions;
        return defaultOutput;
    }
    bool setDefaultOutputDevice(platform::AudioDeviceID device) override;
    bool setDefaultSystemOutputDevice(platform::AudioDeviceID device) override;
    std::unique_ptr<platform::AudioPlayer> makePlayer() override;
    std::unique_ptr<platform::AudioInput> makeInput() override;

    // Adds a device and returns its id (ids count from 1).
    platform::AudioDeviceID add(const QString& uid, const QString& name, int inputChannels, int outputChannels);
    void remove(const QString& uid);
    platform::AudioDeviceInfo* find(const QString& uid);

    std::vector<platform::AudioDeviceInfo> deviceList;
    std::optional<platform::AudioDeviceID> defaultInput;
    std::optional<platform::AudioDeviceID> defaultOutput;
    std::optional<platform::AudioDeviceID> defaultSystemOutput;
    bool refuseDefaultOutput = false;
    bool refuseBinding = false;
    bool refuseStart = false;
    platform::AudioFormat inputFormat{48000, 1};
    // When set, makeInput() returns what this makes instead of a FakeAudioInput.
    std::function<std::unique_ptr<platform::AudioInput>()> inputFactory;

    // Every player and input made, oldest first; null once destroyed.
    std::vector<FakeAudioPlayer*> players;
    std::vector<FakeAudioInput*> inputs;
    FakeAudioPlayer* lastPlayer() const { return players.empty() ? nullptr : players.back(); }
    FakeAudioInput* lastInput() const { return inputs.empty() ? nullptr : inputs.back(); }
    int playersMade = 0;
    // How often the device list or a default was asked for.
    int serverQuestions = 0;

private:
    friend class FakeAudioPlayer;
    friend class FakeAudioInput;
    platform::AudioDeviceID nextID_ = 1;
};

} // namespace quorvia::test
