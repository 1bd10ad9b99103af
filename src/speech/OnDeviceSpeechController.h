#pragma once

#include "platform/sound/AudioConverter.h"
#include "platform/core/MainQueue.h"
#include "platform/sound/PCMBuffer.h"
#include "speech/AudioDeviceError.h"
#include "speech/OnDeviceSpeechState.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

namespace quorvia {

namespace platform {
class AnalyzerInputQueue;
class AudioInput;
class SpeechAnalyzer;
class SpeechResultChannel;
class SpeechTranscriber;
} // namespace platform

class AudioDeviceController;

namespace NotificationName {
// Posted by OnDeviceSpeechController when its state really changes; nobody observes it.
inline const QString onDeviceSpeechStateChanged = QStringLiteral("OnDeviceSpeechStateChanged");
} // namespace NotificationName

// Continuous on-device recognition of the microphone in force. Main thread
// only; results, levels and states reach the owner on the main thread, and a
// generation counter makes late work of an earlier start() harmless.
class OnDeviceSpeechController {
public:
    static inline const QString locale = QStringLiteral("zh-Hans-CN");
    static constexpr std::uint32_t tapBufferFrames = 1024;
    static constexpr std::size_t inputQueueLimit = 24;

    explicit OnDeviceSpeechController(AudioDeviceController& audioDevices);
    ~OnDeviceSpeechController();
    OnDeviceSpeechController(const OnDeviceSpeechController&) = delete;
    OnDeviceSpeechController& operator=(const OnDeviceSpeechController&) = delete;

    // Called on the main thread with the state current when the call runs.
    std::function<void(const OnDeviceSpeechState&)> onStateChange;
    // Every result, volatile and final, in order.
    std::function<void(const OnDeviceSpeechResult&)> onResult;
    // The level in dBFS of every captured buffer that reached the analyser.
    std::function<void(double)> onInputLevel;

    const OnDeviceSpeechState& state() const { return state_; }
    // Does nothing while capture runs; otherwise prepares anew.
    void start();
    // Ends capture and analysis at once; state idle.
    void stop();

    bool isCapturing() const { return audioEngine_ != nullptr; }
    std::int64_t generation() const { return startGeneration_; }

    // A copy in the analysis format, or nothing when the buffer must be dropped.
    static std::optional<platform::PCMBuffer> convertBuffer(const platform::PCMBuffer& buffer,
                                                            const platform::AudioFormat& format,
                                                            platform::AudioConverter* converter);
    static std::optional<platform::PCMBuffer> copyBuffer(const platform::PCMBuffer& buffer);
    static double levelDBFS(const platform::PCMBuffer& buffer);
    // Room for the resampled length plus 8 frames; nothing when that is not a
    // usable frame count (a rate of 0, not finite, 2^32 frames or more).
    static std::optional<std::uint32_t> conversionCapacity(std::uint32_t frameLength, double fromRate, double toRate);

private:
    using Alive = std::weak_ptr<OnDeviceSpeechController*>;
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;

    static void prepare(Alive alive, std::int64_t generation, platform::SerialQueue queue);
    static void prepareWithPermission(Alive alive, std::int64_t generation, bool granted);
    static void runAnalysis(Alive alive, std::shared_ptr<platform::SpeechAnalyzer> analyzer,
                            platform::AudioFormat format, std::shared_ptr<platform::AnalyzerInputQueue> input,
                            std::int64_t generation, CancelFlag cancelled);
    static void updateIfCurrent(const Alive& alive, std::int64_t generation, OnDeviceSpeechState state);
    static void deliverResults(Alive alive, std::shared_ptr<platform::SpeechResultChannel> results,
                               std::int64_t generation, CancelFlag cancelled);
    std::expected<void, AudioDeviceError> startAudioAndAnalysis(std::shared_ptr<platform::SpeechTranscriber> transcriber,
                                                                const platform::AudioFormat& analysisFormat,
                                                                std::int64_t generation);
    void setState(OnDeviceSpeechState state);
    // Ends capture, closes the queue, cancels the jobs and lets the analyser go.
    void releaseRun();

    AudioDeviceController& audioDevices_;
    std::unique_ptr<platform::AudioInput> audioEngine_;
    std::shared_ptr<platform::SpeechAnalyzer> analyzer_;
    std::shared_ptr<platform::AnalyzerInputQueue> inputContinuation_;
    CancelFlag analysisTask_;
    CancelFlag resultsTask_;
    std::int64_t startGeneration_ = 0;
    OnDeviceSpeechState state_;
    platform::SerialQueue queue_;
    std::shared_ptr<OnDeviceSpeechController*> life_;
};

} // namespace quorvia
