#pragma once

#include "platform/sound/AudioFormat.h"
#include "platform/sound/PCMBuffer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia::platform {

// Unique among the devices for the life of the service; never 0.
using AudioDeviceID = std::uint32_t;

struct AudioDeviceInfo {
    AudioDeviceID id = 0;
    // Persistent across launches.
    QString uid;
    QString name;
    int inputChannels = 0;
    int outputChannels = 0;
    friend bool operator==(const AudioDeviceInfo&, const AudioDeviceInfo&) = default;
};

// How a scheduled buffer ended.
enum class PlaybackEnd {
    played,  // played out to its end
    stopped, // cut off by stop() or by the next buffer scheduled
    lost,    // the device or the sound system went away before it played out
};

// Plays buffers on one output device. Main thread only, except where noted.
class AudioPlayer {
public:
    virtual ~AudioPlayer() = default;
    // False when the device cannot take the player's output.
    virtual bool bindDevice(AudioDeviceID device) = 0;
    // Opens the bound device for buffers of this format; false when it cannot.
    virtual bool start(const AudioFormat& format) = 0;
    // onFinished runs exactly once on any thread, with how the buffer ended;
    // never after the player is destroyed.
    virtual void scheduleBuffer(const PCMBuffer& buffer, std::function<void(PlaybackEnd)> onFinished) = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
};

// Captures one input device and hands out buffers through a tap. Main thread
// only, except the tap, which runs on the capture thread.
class AudioInput {
public:
    using Tap = std::function<void(const PCMBuffer&)>;
    virtual ~AudioInput() = default;
    virtual bool bindDevice(AudioDeviceID device) = 0;
    // The format captured buffers arrive in; unusable when nothing is bound.
    virtual AudioFormat format() const = 0;
    // Buffers of about bufferFrames frames. Removing the tap waits for a tap
    // call already running, so nothing reaches it afterwards.
    virtual void installTap(std::uint32_t bufferFrames, Tap tap) = 0;
    virtual void removeTap() = 0;
    virtual bool start() = 0;
    virtual void stop() = 0;

    // Runs at most once per start(), on any thread, when capture ends without
    // stop() (the device or the sound system went away). Set before start().
    std::function<void()> onInterrupted;
};

// The machine's audio hardware. Reads answer neutral values (empty list,
// nothing) when the system cannot be asked. Main thread only.
class AudioService {
public:
    virtual ~AudioService() = default;

    // Devices in the order the system lists them.
    virtual std::vector<AudioDeviceInfo> devices() = 0;
    virtual std::optional<AudioDeviceID> defaultInputDevice() = 0;
    virtual std::optional<AudioDeviceID> defaultOutputDevice() = 0;
    virtual bool setDefaultOutputDevice(AudioDeviceID device) = 0;
    // The device for alerts and system sounds.
    virtual bool setDefaultSystemOutputDevice(AudioDeviceID device) = 0;

    virtual std::unique_ptr<AudioPlayer> makePlayer() = 0;
    virtual std::unique_ptr<AudioInput> makeInput() = 0;
};

} // namespace quorvia::platform
