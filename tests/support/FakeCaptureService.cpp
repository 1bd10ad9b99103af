#include "support/FakeCaptureService.h"

namespace quorvia::test {

using platform::CaptureError;

FakeCaptureStream::FakeCaptureStream(platform::ContentFilter filter, platform::StreamConfiguration configuration,
                                     platform::CaptureService::StopHandler onStop)
    : filter(std::move(filter)), configuration(std::move(configuration)), onStop_(std::move(onStop))
{
}

std::expected<void, CaptureError> FakeCaptureStream::addStreamOutput(platform::StreamOutputType type,
                                                                     platform::SerialQueue queue,
                                                                     FrameHandler handler)
{
    if (addOutputError)
        return std::unexpected(*addOutputError);
    outputType = type;
    outputQueueLabel = queue.label();
    queue_ = std::move(queue);
    handler_ = std::move(handler);
    return {};
}

void FakeCaptureStream::startCapture(Completion completion)
{
    ++startRequests;
    if (autoCompleteStart) {
        capturing_ = true;
        completion(std::nullopt);
        return;
    }
    std::lock_guard lock(mutex_);
    starts_.push_back(std::move(completion));
}

void FakeCaptureStream::stopCapture(Completion completion)
{
    ++stopRequests;
    if (autoCompleteStop) {
        capturing_ = false;
        completion(std::nullopt);
        return;
    }
    std::lock_guard lock(mutex_);
    stops_.push_back(std::move(completion));
}

void FakeCaptureStream::updateConfiguration(const platform::StreamConfiguration& config, Completion completion)
{
    updates.push_back(config);
    configuration = config;
    std::lock_guard lock(mutex_);
    updates_.push_back(std::move(completion));
}

namespace {
bool completeOldest(std::mutex& mutex, std::deque<FakeCaptureStream::Completion>& list,
                    std::optional<CaptureError> error)
{
    FakeCaptureStream::Completion completion;
    {
        std::lock_guard lock(mutex);
        if (list.empty())
            return false;
        completion = std::move(list.front());
        list.pop_front();
    }
    if (completion)
        completion(error);
    return true;
}
} // namespace

bool FakeCaptureStream::completeStart(std::optional<CaptureError> error)
{
    if (!error)
        capturing_ = true;
    return completeOldest(mutex_, starts_, error);
}

bool FakeCaptureStream::completeStop(std::optional<CaptureError> error)
{
    capturing_ = false;
    return completeOldest(mutex_, stops_, error);
}

bool FakeCaptureStream::completeUpdate(std::optional<CaptureError> error)
{
    return completeOldest(mutex_, updates_, error);
}

QImage FakeCaptureStream::defaultImage()
{
    QImage image(16, 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkCyan);
    return image;
}

void FakeCaptureStream::deliver(platform::FrameStatus status, QImage image)
{
    platform::SampleBuffer buffer;
    buffer.frameStatus = static_cast<int>(status);
    buffer.image = std::move(image);
    deliverRaw(buffer);
}

void FakeCaptureStream::deliverRaw(const platform::SampleBuffer& buffer, platform::StreamOutputType type)
{
    if (!handler_ || !queue_)
        return;
    queue_->async([handler = handler_, id = identifier(), buffer, type] { handler(id, buffer, type); });
}

void FakeCaptureStream::fail(CaptureError error)
{
    capturing_ = false;
    if (onStop_)
        onStop_(identifier(), error);
}

void FakeCaptureService::shareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                                          ContentCompletion completion)
{
    ++contentRequests;
    lastExcludingDesktopWindows = excludingDesktopWindows;
    lastOnScreenWindowsOnly = onScreenWindowsOnly;
    if (autoAnswer) {
        completion(content);
        return;
    }
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(completion));
}

void FakeCaptureStream::abandonPending()
{
    std::deque<Completion> starts;
    std::deque<Completion> stops;
    std::deque<Completion> updates;
    {
        std::lock_guard lock(mutex_);
        starts.swap(starts_);
        stops.swap(stops_);
        updates.swap(updates_);
    }
}

FakeCaptureService::~FakeCaptureService()
{
    for (const auto& stream : streams)
        stream->abandonPending();
}

std::shared_ptr<platform::CaptureStream> FakeCaptureService::makeStream(const platform::ContentFilter& filter,
                                                                        const platform::StreamConfiguration& config,
                                                                        StopHandler onStopWithError)
{
    auto stream = std::make_shared<FakeCaptureStream>(filter, config, std::move(onStopWithError));
    stream->addOutputError = addOutputError;
    stream->autoCompleteStart = autoCompleteStart;
    stream->autoCompleteStop = autoCompleteStop;
    streams.push_back(stream);
    return stream;
}

bool FakeCaptureService::answerContent() { return answerContent(content); }

bool FakeCaptureService::answerContent(std::expected<platform::ShareableContent, CaptureError> answer)
{
    ContentCompletion completion;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty())
            return false;
        completion = std::move(pending_.front());
        pending_.pop_front();
    }
    completion(std::move(answer));
    return true;
}

std::size_t FakeCaptureService::pendingContentRequests() const
{
    std::lock_guard lock(mutex_);
    return pending_.size();
}

platform::ShareableDisplay FakeCaptureService::display(platform::DisplayID id, const platform::Rect& frame)
{
    return {id, int(frame.width()), int(frame.height()), frame};
}

} // namespace quorvia::test
