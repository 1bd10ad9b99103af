#include "speech/OnDeviceSpeechController.h"

#include "platform/sound/AnalyzerInputQueue.h"
#include "platform/sound/AudioService.h"
#include "platform/Platform.h"
#include "platform/sound/SpeechService.h"
#include "speech/AudioDeviceController.h"

#include <algorithm>
#include <cmath>

namespace quorvia {

namespace {
const QString resultsInterrupted = QStringLiteral("设备端语音结果流已中断。");
const QString analysisStopped = QStringLiteral("设备端连续语音分析已停止。");
} // namespace

std::expected<void, AudioDeviceError>
OnDeviceSpeechController::startAudioAndAnalysis(std::shared_ptr<platform::SpeechTranscriber> transcriber,
                                                const platform::AudioFormat& analysisFormat, std::int64_t generation)
{
    if (generation != startGeneration_)
        return {};
    auto engine = platform::current().audio().makeInput();
    if (!engine)
        return std::unexpected(AudioDeviceError::inputUnavailable);
    if (auto bound = audioDevices_.configureInputNode(*engine); !bound)
        return bound;
    const platform::AudioFormat inputFormat = engine->format();
    if (!(inputFormat.sampleRate > 0) || inputFormat.channelCount <= 0)
        return std::unexpected(AudioDeviceError::inputUnavailable);
    std::shared_ptr<platform::AudioConverter> converter;
    if (inputFormat != analysisFormat) {
        converter = platform::AudioConverter::make(inputFormat, analysisFormat);
        if (!converter)
            return std::unexpected(AudioDeviceError::inputUnavailable);
    }

    auto queue = std::make_shared<platform::AnalyzerInputQueue>(inputQueueLimit);
    inputContinuation_ = queue;
    analyzer_ = platform::current().speech().makeAnalyzer(transcriber);
    if (!analyzer_)
        return std::unexpected(AudioDeviceError::inputUnavailable);

    // The tap keeps its own writer end, so stop() closing the queue never races it.
    engine->installTap(tapBufferFrames, [alive = Alive(life_), analysisFormat, converter, queue,
                                         generation](const platform::PCMBuffer& captured) {
        if (alive.expired())
            return;
        auto converted = convertBuffer(captured, analysisFormat, converter.get());
        if (!converted)
            return;
        const double level = levelDBFS(captured);
        queue->yield(std::move(*converted));
        // A level still queued when its run ends must not count toward the next run.
        platform::MainQueue::async([alive, level, generation] {
            if (auto self = alive.lock(); self && (*self)->startGeneration_ == generation && (*self)->onInputLevel)
                (*self)->onInputLevel(level);
        });
    });
    // Capture that ends by itself (the sound server went away) ends the run as a failure.
    engine->onInterrupted = [alive = Alive(life_), generation] {
        updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(analysisStopped));
    };
    if (!engine->start()) {
        engine->removeTap();
        return std::unexpected(AudioDeviceError::inputUnavailable);
    }
    audioEngine_ = std::move(engine);

    resultsTask_ = std::make_shared<std::atomic<bool>>(false);
    queue_.async([alive = Alive(life_), results = transcriber->results(), generation, cancelled = resultsTask_] {
        if (!alive.expired())
            deliverResults(alive, results, generation, cancelled);
    });
    analysisTask_ = std::make_shared<std::atomic<bool>>(false);
    queue_.async([alive = Alive(life_), analyzer = analyzer_, analysisFormat, queue, generation,
                  cancelled = analysisTask_] {
        runAnalysis(alive, analyzer, analysisFormat, queue, generation, cancelled);
    });
    setState(OnDeviceSpeechState::listening());
    return {};
}

void OnDeviceSpeechController::deliverResults(Alive alive, std::shared_ptr<platform::SpeechResultChannel> results,
                                              std::int64_t generation, CancelFlag cancelled)
{
    using Kind = platform::SpeechResultChannel::Event::Kind;
    // The handler holds the channel weakly: the channel keeps the handler while it waits.
    std::weak_ptr<platform::SpeechResultChannel> channel = results;
    results->next([alive, channel, generation, cancelled](const platform::SpeechResultChannel::Event& event) {
        if (event.kind == Kind::end)
            return;
        if (event.kind == Kind::failure) {
            if (!*cancelled)
                updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(resultsInterrupted));
            return;
        }
        if (*cancelled)
            return;
        // The next result is taken only once this one has been delivered.
        platform::MainQueue::async([alive, channel, generation, cancelled, result = event.result] {
            if (auto self = alive.lock(); self && (*self)->onResult)
                (*self)->onResult(OnDeviceSpeechResult{result.text, result.isFinal});
            if (auto results = channel.lock(); results && !alive.expired())
                deliverResults(alive, results, generation, cancelled);
        });
    });
}

void OnDeviceSpeechController::runAnalysis(Alive alive, std::shared_ptr<platform::SpeechAnalyzer> analyzer,
                                           platform::AudioFormat format,
                                           std::shared_ptr<platform::AnalyzerInputQueue> input,
                                           std::int64_t generation, CancelFlag cancelled)
{
    if (analyzer->prepareToAnalyze(format) && analyzer->start(std::move(input)))
        return;
    if (!*cancelled && !alive.expired())
        updateIfCurrent(alive, generation, OnDeviceSpeechState::failed(analysisStopped));
}

std::optional<std::uint32_t> OnDeviceSpeechController::conversionCapacity(std::uint32_t frameLength, double fromRate,
                                                                          double toRate)
{
    if (!(fromRate > 0) || !(toRate > 0))
        return std::nullopt;
    const double capacity = std::max(1.0, std::ceil(frameLength * (toRate / fromRate)) + 8.0);
    if (!std::isfinite(capacity) || capacity >= 4294967296.0)
        return std::nullopt;
    return std::uint32_t(capacity);
}

std::optional<platform::PCMBuffer> OnDeviceSpeechController::convertBuffer(const platform::PCMBuffer& buffer,
                                                                           const platform::AudioFormat& format,
                                                                           platform::AudioConverter* converter)
{
    if (!converter)
        return copyBuffer(buffer);
    const auto capacity = conversionCapacity(buffer.frameLength(), buffer.format().sampleRate, format.sampleRate);
    if (!capacity)
        return std::nullopt;
    auto output = platform::PCMBuffer::make(format, *capacity);
    if (!output)
        return std::nullopt;
    bool handedOver = false;
    const auto status = converter->convert(*output, [&](platform::AudioConverter::InputStatus& inputStatus) {
        if (handedOver) {
            inputStatus = platform::AudioConverter::InputStatus::noDataNow;
            return static_cast<const platform::PCMBuffer*>(nullptr);
        }
        handedOver = true;
        inputStatus = platform::AudioConverter::InputStatus::haveData;
        return &buffer;
    });
    if (status == platform::AudioConverter::OutputStatus::error || output->frameLength() == 0)
        return std::nullopt;
    return output;
}

std::optional<platform::PCMBuffer> OnDeviceSpeechController::copyBuffer(const platform::PCMBuffer& buffer)
{
    auto copy = platform::PCMBuffer::make(buffer.format(), buffer.frameLength());
    if (!copy)
        return std::nullopt;
    copy->setFrameLength(buffer.frameLength());
    const int channels = std::min(copy->channelCount(), buffer.channelCount());
    for (int c = 0; c < channels; ++c)
        std::copy_n(buffer.channelData(c), buffer.frameLength(), copy->channelData(c));
    return copy;
}

double OnDeviceSpeechController::levelDBFS(const platform::PCMBuffer& buffer)
{
    if (buffer.channelCount() <= 0 || buffer.frameLength() == 0)
        return -120.0;
    const double frames = buffer.frameLength();
    const int channels = buffer.channelCount();
    double sum = 0;
    for (int c = 0; c < channels; ++c) {
        const float* samples = buffer.channelData(c);
        for (std::uint32_t f = 0; f < buffer.frameLength(); ++f)
            sum += double(samples[f]) * samples[f];
    }
    const double rms = std::sqrt(sum / std::max(frames * channels, 1.0));
    return std::max(-120.0, 20.0 * std::log10(std::max(rms, 0.000001)));
}

} // namespace quorvia
