#pragma once

#include "platform/sound/AudioService.h"
#include "platform/sound/PCMBuffer.h"
#include "speech/AudioDeviceDescriptor.h"
#include "speech/AudioDeviceError.h"

#include <QString>

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

namespace NotificationName {
// Posted by AudioDeviceController after a choice of microphone or output.
inline const QString audioDeviceSelectionChanged = QStringLiteral("AudioDeviceSelectionChanged");
// Posted by the coordinator, with the controller as sender, when refresh() found a change.
inline const QString audioDeviceTopologyChanged = QStringLiteral("AudioDeviceTopologyChanged");
} // namespace NotificationName

// The one place that talks to the audio hardware: the device list, the
// speaker's choice of microphone and output, and the output test tone.
// Main thread only.
class AudioDeviceController {
public:
    static inline const QString inputUIDKey = QStringLiteral("presentation.audio.inputUID");
    static inline const QString outputUIDKey = QStringLiteral("presentation.audio.outputUID");

    // Test tone shape.
    static constexpr double toneSampleRate = 48000;
    static constexpr std::uint32_t toneFrames = 24000;
    static constexpr double toneFrequency = 660;
    static constexpr double toneAmplitude = 0.16;
    static constexpr std::uint32_t toneFadeFrames = 1200;

    // Reads the stored choices from the defaults store. The sound server is
    // first asked for its devices by whatever needs them, or by loadDevices().
    AudioDeviceController();
    explicit AudioDeviceController(platform::DefaultsStore& defaults);
    ~AudioDeviceController();
    AudioDeviceController(const AudioDeviceController&) = delete;
    AudioDeviceController& operator=(const AudioDeviceController&) = delete;

    // Reads the devices unless they have been read already.
    void loadDevices() const;

    const std::vector<AudioDeviceDescriptor>& devices() const;
    const std::optional<QString>& selectedInputUID() const;
    const std::optional<QString>& selectedOutputUID() const;

    // Re-reads the devices; true when the device signature changed. The
    // first reading changes nothing anyone has seen, so it answers false.
    bool refresh();

    std::vector<AudioDeviceDescriptor> inputDevices() const;
    std::vector<AudioDeviceDescriptor> outputDevices() const;
    // The devices in force: the stored choice, else the system default.
    std::optional<AudioDeviceDescriptor> selectedInput() const;
    std::optional<AudioDeviceDescriptor> selectedOutput() const;
    bool selectedOutputIsSystemDefault() const;

    void selectInput(const QString& uid);
    // Makes the device the system's default output; false when no output
    // device has the UID or the system refused.
    bool selectOutput(const QString& uid);

    // Binds a capture input to the microphone in force.
    std::expected<void, AudioDeviceError> configureInputNode(platform::AudioInput& input) const;

    // The completion runs exactly once: false before this returns when the
    // tone cannot start; on the main queue, true once it has played or was
    // stopped, false when the sound system lost it midway.
    void playOutputTestTone(std::function<void(bool)> completion);
    void stopTestTone();
    bool isPlayingTestTone() const { return tonePlayer_ != nullptr; }

    // "uid:in:out|...|default:<input id>:<output id>", ids 0 when absent.
    static QString deviceSignature(const std::vector<AudioDeviceDescriptor>& devices,
                                   std::optional<std::uint32_t> defaultInput,
                                   std::optional<std::uint32_t> defaultOutput);
    // Finder order: case-insensitive, digit runs by value; equal names keep their order.
    static void sortByName(std::vector<AudioDeviceDescriptor>& devices);
    static std::optional<platform::PCMBuffer> makeTestToneBuffer();

private:
    using Alive = std::weak_ptr<AudioDeviceController*>;
    std::vector<AudioDeviceDescriptor> readDevices() const;
    std::optional<AudioDeviceDescriptor> selectedDevice(const std::optional<QString>& uid,
                                                        std::optional<platform::AudioDeviceID> systemDefault,
                                                        bool AudioDeviceDescriptor::*supports) const;
    void notifyChanged();

    // The device list and what a reading of it decides, read on first use.
    AudioDeviceController& loaded() const;

    platform::DefaultsStore& defaults_;
    bool devicesRead_ = false;
    std::vector<AudioDeviceDescriptor> devices_;
    std::optional<QString> selectedInputUID_;
    std::optional<QString> selectedOutputUID_;
    QString lastDeviceSignature_;
    std::unique_ptr<platform::AudioPlayer> tonePlayer_;
    // Which tone the player belongs to, so a late completion stops only its own.
    std::uint64_t toneToken_ = 0;
    std::shared_ptr<AudioDeviceController*> life_;
};

} // namespace quorvia
