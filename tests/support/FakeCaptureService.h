#pragma once

#include "platform/capture/CaptureService.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

namespace quorvia::test {

// A stream the test drives by hand: it completes starts, stops and updates,
// delivers frames with a status and fails the stream, from any thread.
class FakeCaptureStream final : public platform::CaptureStream {
public:
    FakeCaptureStream(platform::ContentFilter filter, platform::StreamConfiguration configuration,
                      platform::CaptureService::StopHandler onStop);

    std::expected<void, platform::CaptureError> addStreamOutput(platform::StreamOutputType type,
                                                                platform::SerialQueue queue,
                                                                FrameHandler handler) override;
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateConfiguration(const platform::StreamConfiguration& configuration, Completion completion) override;

    // Set before addStreamOutput to make it fail.
    std::optional<platform::CaptureError> addOutputError;
    // When set, starts and stops complete inside the call, without error.
    bool autoCompleteStart = false;
    bool autoCompleteStop = false;

    bool completeStart(std::optional<platform::CaptureError> error = std::nullopt);
    bool completeStop(std::optional<platform::CaptureError> error = std::nullopt);
    bool completeUpdate(std::optional<platform::CaptureError> error = std::nullopt);

    // Hands a frame to the output's queue, as the capture framework would.
    void deliver(platform::FrameStatus status, QImage image = defaultImage());
    void deliverRaw(const platform::SampleBuffer& buffer,
                    platform::StreamOutputType type = platform::StreamOutputType::screen);
    // The stream stops on its own.
    void fail(platform::CaptureError error = platform::CaptureError::streamInterrupted);

    static QImage defaultImage();

    // Drops completions the test never answered: an owner may keep its stream
    // alive from inside one, which would otherwise outlive the test.
    void abandonPending();

    const platform::ContentFilter filter;
    platform::StreamConfiguration configuration;
    std::vector<platform::StreamConfiguration> updates;
    int startRequests = 0;
    int stopRequests = 0;
    bool hasOutput() const { return handler_ != nullptr; }
    bool isCapturing() const { return capturing_; }
    std::optional<platform::StreamOutputType> outputType;
    std::optional<QString> outputQueueLabel;

private:
    platform::CaptureService::StopHandler onStop_;
    FrameHandler handler_;
    std::optional<platform::SerialQueue> queue_;
    std::mutex mutex_;
    std::deque<Completion> starts_;
    std::deque<Completion> stops_;
    std::deque<Completion> updates_;
    std::atomic<bool> capturing_{false};
};

// Shareable content is answered by hand (or at once when autoAnswer is set);
// every stream made is kept for the test to drive.
class FakeCaptureService final : public platform::CaptureService {
public:
    ~FakeCaptureService() override;
    void shareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                          ContentCompletion completion) override;
    std::shared_ptr<platform::CaptureStream> makeStream(const platform::ContentFilter& filter,
                                                        const platform::StreamConfiguration& configuration,
                                                        StopHandler onStopWithError) override;

    // What the next answers hold.
    platform::ShareableContent content;
    // Answer every request inside the call with `content`.
    bool autoAnswer = false;
    // Applied to every stream made from now on.
    std::optional<platform::CaptureError> addOutputError;
    bool autoCompleteStart = false;
    bool autoCompleteStop = false;

    // Answers the oldest pending request; false when none is pending.
    bool answerContent();
    bool answerContent(std::expected<platform::ShareableContent, platform::CaptureError> answer);
    std::size_t pendingContentRequests() const;
    int contentRequests = 0;
    bool lastExcludingDesktopWindows = true;
    bool lastOnScreenWindowsOnly = true;

    std::vector<std::shared_ptr<FakeCaptureStream>> streams;
    FakeCaptureStream* lastStream() const { return streams.empty() ? nullptr : streams.back().get(); }

    static platform::ShareableDisplay display(platform::DisplayID id, const platform::Rect& frame);

private:
    mutable std::mutex mutex_;
    std::deque<ContentCompletion> pending_;
};

} // namespace quorvia::test
