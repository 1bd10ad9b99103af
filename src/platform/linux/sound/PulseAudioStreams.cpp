#include "platform/linux/sound/PulseAudioStreams.h"

#include "platform/linux/sound/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>

#include <cstring>

namespace quorvia::platform::native {

namespace {
pa_sample_spec floatSpec(const AudioFormat& format)
{
    return {PA_SAMPLE_FLOAT32NE, std::uint32_t(format.sampleRate), std::uint8_t(format.channelCount)};
}

// Under the lock: waits for the stream to become ready; false when it failed or the server stalled.
bool awaitReady(PulseConnection& connection, pa_stream* stream)
{
    return connection.waitUntil([stream] {
        return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || pa_stream_get_state(stream) == PA_STREAM_READY;
    }) && pa_stream_get_state(stream) == PA_STREAM_READY;
}

void releaseStream(pa_stream*& stream)
{
    if (!stream)
        return;
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_CREATING) {
        // A stalled server has not made it yet; it is ended once it has.
        pa_stream_set_state_callback(
            stream,
            [](pa_stream* s, void*) {
                if (pa_stream_get_state(s) == PA_STREAM_READY)
                    pa_stream_disconnect(s);
            },
            nullptr);
    } else {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
}

bool ended(pa_stream* stream)
{
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
}
} // namespace

PulseAudioPlayer::PulseAudioPlayer(std::shared_ptr<PulseConnection> connection,
                                   std::shared_ptr<PulseAudioService::Names> names)
    : connection_(std::move(connection)), names_(std::move(names))
{
}

PulseAudioPlayer::~PulseAudioPlayer() { stop(); }

bool PulseAudioPlayer::bindDevice(AudioDeviceID device)
{
    const QString uid = names_->uidFor(device);
    if (uid.isEmpty())
        return false;
    sinkName_ = uid.toUtf8();
    return true;
}

bool PulseAudioPlayer::start(const AudioFormat& format)
{
    if (sinkName_.isEmpty() || !format.isUsable() || format.channelCount > 32)
        return false;
    PulseConnection::Lock lock(*connection_);
    if (stream_ || !connection_->ensureConnected())
        return false;
    format_ = format;
    const pa_sample_spec layout = floatSpec(format);
    stream_ = pa_stream_new(connection_->context(), "Quorvia test tone", &layout, nullptr);
    if (!stream_)
        return false;
    pa_stream_set_state_callback(
        stream_,
        [](pa_stream* stream, void* self) {
            auto* player = static_cast<PulseAudioPlayer*>(self);
            if (ended(stream))
                player->finished(PlaybackEnd::lost);
            player->connection_->signal();
        },
        this);
    if (pa_stream_connect_playback(stream_, sinkName_.constData(), nullptr, PA_STREAM_START_CORKED, nullptr, nullptr)
            < 0
        || !awaitReady(*connection_, stream_)) {
        release();
        return false;
    }
    return true;
}

void PulseAudioPlayer::finished(PlaybackEnd end)
{
    if (auto done = std::exchange(onFinished_, nullptr))
        done(end);
}

void PulseAudioPlayer::cancelDrain()
{
    if (!drain_)
        return;
    if (pa_operation_get_state(drain_) == PA_OPERATION_RUNNING)
        pa_operation_cancel(drain_);
    pa_operation_unref(drain_);
    drain_ = nullptr;
}

void PulseAudioPlayer::release()
{
    cancelDrain();
    releaseStream(stream_);
}

void PulseAudioPlayer::scheduleBuffer(const PCMBuffer& buffer, std::function<void(PlaybackEnd)> onFinished)
{
    PulseConnection::Lock lock(*connection_);
    // One buffer at a time: one still scheduled counts as cut off.
    cancelDrain();
    finished(PlaybackEnd::stopped);
    onFinished_ = std::move(onFinished);
    if (!stream_ || ended(stream_) || buffer.format() != format_) {
        finished(PlaybackEnd::lost);
        return;
    }
    const int channels = format_.channelCount;
    std::vector<float> interleaved(std::size_t(buffer.frameLength()) * channels);
    for (std::uint32_t frame = 0; frame < buffer.frameLength(); ++frame)
        for (int c = 0; c < channels; ++c)
            interleaved[std::size_t(frame) * channels + c] = buffer.channelData(c)[frame];
    if (pa_stream_write(stream_, interleaved.data(), interleaved.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE)
        < 0) {
        finished(PlaybackEnd::lost);
        return;
    }
    // The server answers a drain once the buffer has played out, or refuses it
    // when the stream went away first.
    drain_ = pa_stream_drain(
        stream_,
        [](pa_stream*, int success, void* self) {
            static_cast<PulseAudioPlayer*>(self)->finished(success ? PlaybackEnd::played : PlaybackEnd::lost);
        },
        this);
    if (!drain_)
        finished(PlaybackEnd::lost);
}

void PulseAudioPlayer::play()
{
    PulseConnection::Lock lock(*connection_);
    if (stream_ && !ended(stream_))
        if (auto* op = pa_stream_cork(stream_, 0, nullptr, nullptr))
            pa_operation_unref(op);
}

void PulseAudioPlayer::stop()
{
    PulseConnection::Lock lock(*connection_);
    // Nothing of this player may be called back once the lock is let go.
    release();
    finished(PlaybackEnd::stopped);
}

PulseAudioInput::PulseAudioInput(std::shared_ptr<PulseConnection> connection,
                                 std::shared_ptr<PulseAudioService::Names> names)
    : connection_(std::move(connection)), names_(std::move(names))
{
}

PulseAudioInput::~PulseAudioInput() { stop(); }

bool PulseAudioInput::bindDevice(AudioDeviceID device)
{
    const QString uid = names_->uidFor(device);
    if (uid.isEmpty())
        return false;
    const QByteArray name = uid.toUtf8();
    struct Context {
        AudioFormat format;
        PulseConnection* connection;
    } ctx{{}, connection_.get()};
    {
        PulseConnection::Lock lock(*connection_);
        if (!connection_->ensureConnected())
            return false;
        connection_->await(pa_context_get_source_info_by_name(
            connection_->context(), name.constData(),
            [](pa_context*, const pa_source_info* info, int eol, void* data) {
                auto* c = static_cast<Context*>(data);
                if (eol == 0 && info && info->monitor_of_sink == PA_INVALID_INDEX)
                    c->format = {double(info->sample_spec.rate), int(info->sample_spec.channels)};
                else
                    c->connection->signal();
            },
            &ctx));
    }
    if (!ctx.format.isUsable())
        return false;
    sourceName_ = name;
    format_ = ctx.format;
    return true;
}

void PulseAudioInput::installTap(std::uint32_t bufferFrames, Tap tap)
{
    PulseConnection::Lock lock(*connection_);
    tapFrames_ = bufferFrames > 0 ? bufferFrames : 1024;
    tap_ = std::move(tap);
}

void PulseAudioInput::removeTap()
{
    PulseConnection::Lock lock(*connection_);
    tap_ = nullptr;
}

bool PulseAudioInput::start()
{
    if (sourceName_.isEmpty())
        return false;
    PulseConnection::Lock lock(*connection_);
    if (stream_ || !connection_->ensureConnected())
        return false;
    const pa_sample_spec layout = floatSpec(format_);
    stream_ = pa_stream_new(connection_->context(), "Quorvia microphone", &layout, nullptr);
    if (!stream_)
        return false;
    pa_stream_set_state_callback(
        stream_, [](pa_stream*, void* self) { static_cast<PulseAudioInput*>(self)->streamStateChanged(); }, this);
    pa_stream_set_read_callback(
        stream_, [](pa_stream*, size_t, void* self) { static_cast<PulseAudioInput*>(self)->readAvailable(); }, this);
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xff, sizeof attributes);
    attributes.fragsize = std::uint32_t(tapFrames_ * sizeof(float) * std::size_t(format_.channelCount));
    if (pa_stream_connect_record(stream_, sourceName_.constData(), &attributes, PA_STREAM_ADJUST_LATENCY) < 0
        || !awaitReady(*connection_, stream_)) {
        release();
        return false;
    }
    // Armed only now: a stream that never came up is reported by start() itself.
    interrupted_ = onInterrupted;
    return true;
}

void PulseAudioInput::streamStateChanged()
{
    if (stream_ && ended(stream_))
        if (auto report = std::exchange(interrupted_, nullptr))
            report();
    connection_->signal();
}

void PulseAudioInput::readAvailable()
{
    const void* data = nullptr;
    size_t bytes = 0;
    while (stream_ && pa_stream_readable_size(stream_) > 0 && pa_stream_peek(stream_, &data, &bytes) == 0) {
        if (bytes == 0)
            break;
        const std::size_t samples = bytes / sizeof(float);
        if (data) {
            const auto* floats = static_cast<const float*>(data);
            pending_.insert(pending_.end(), floats, floats + samples);
        } else {
            pending_.insert(pending_.end(), samples, 0.0f); // a hole in the stream is silence
        }
        pa_stream_drop(stream_);
    }
    const std::size_t channels = std::size_t(format_.channelCount);
    const std::size_t chunk = std::size_t(tapFrames_) * channels;
    std::size_t offset = 0;
    while (pending_.size() - offset >= chunk) {
        if (tap_) {
            if (auto buffer = PCMBuffer::make(format_, tapFrames_)) {
                buffer->setFrameLength(tapFrames_);
                for (std::size_t f = 0; f < tapFrames_; ++f)
                    for (std::size_t c = 0; c < channels; ++c)
                        buffer->channelData(int(c))[f] = pending_[offset + f * channels + c];
                tap_(*buffer);
            }
        }
        offset += chunk;
    }
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(offset));
}

void PulseAudioInput::release()
{
    interrupted_ = nullptr;
    releaseStream(stream_);
    pending_.clear();
}

void PulseAudioInput::stop()
{
    PulseConnection::Lock lock(*connection_);
    release();
}

} // namespace quorvia::platform::native
