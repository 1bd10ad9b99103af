#include "support/WavFileInput.h"

#include <QFile>
#include <QtEndian>

#include <chrono>

namespace quorvia::test {

WavFileInput::WavFileInput(const QString& path, double speed) : speed_(speed)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return;
    int channels = 0, bits = 0;
    double rate = 0;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const auto size = qsizetype(qFromLittleEndian<quint32>(bytes.constData() + at + 4));
        const char* body = bytes.constData() + at + 8;
        if (at + 8 + size > bytes.size())
            break;
        if (id == "fmt " && size >= 16) {
            channels = qFromLittleEndian<quint16>(body + 2);
            rate = qFromLittleEndian<quint32>(body + 4);
            bits = qFromLittleEndian<quint16>(body + 14);
        } else if (id == "data" && channels > 0 && bits == 16) {
            frames_ = std::uint32_t(size / (2 * channels));
            channels_.assign(std::size_t(channels), std::vector<float>(frames_));
            for (std::uint32_t f = 0; f < frames_; ++f)
                for (int c = 0; c < channels; ++c)
                    channels_[std::size_t(c)][f] =
                        qFromLittleEndian<qint16>(body + 2 * (std::size_t(f) * channels + c)) / 32768.0f;
            format_ = {rate, channels};
            loaded_ = true;
        }
        at += 8 + size + (size & 1);
    }
}

WavFileInput::~WavFileInput() { stop(); }

void WavFileInput::installTap(std::uint32_t bufferFrames, Tap tap)
{
    std::lock_guard lock(tapMutex_);
    bufferFrames_ = bufferFrames;
    tap_ = std::move(tap);
}

void WavFileInput::removeTap()
{
    std::lock_guard lock(tapMutex_);
    tap_ = nullptr;
}

bool WavFileInput::start()
{
    if (!loaded_ || thread_.joinable())
        return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void WavFileInput::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

void WavFileInput::run()
{
    auto begin = std::chrono::steady_clock::now();
    for (std::uint32_t at = 0; at < frames_ && !stopping_; at += bufferFrames_) {
        const auto held = std::chrono::steady_clock::now();
        while (!stopping_ && holdWhile && holdWhile())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        begin += std::chrono::steady_clock::now() - held; // waiting does not count as playing
        const std::uint32_t count = std::min(bufferFrames_, frames_ - at);
        auto buffer = platform::PCMBuffer::make(format_, count);
        buffer->setFrameLength(count);
        for (int c = 0; c < format_.channelCount; ++c)
            std::copy_n(channels_[std::size_t(c)].begin() + at, count, buffer->channelData(c));
        {
            std::lock_guard lock(tapMutex_);
            if (tap_)
                tap_(*buffer);
        }
        const auto due = begin + std::chrono::duration<double>((at + count) / format_.sampleRate / speed_);
        while (!stopping_ && std::chrono::steady_clock::now() < due)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    finished_ = true;
}

} // namespace quorvia::test
