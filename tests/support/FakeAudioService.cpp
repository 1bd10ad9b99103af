#include "support/FakeAudioService.h"

#include <algorithm>

namespace quorvia::test {

FakeAudioPlayer::~FakeAudioPlayer()
{
    std::replace(owner_.players.begin(), owner_.players.end(), this, static_cast<FakeAudioPlayer*>(nullptr));
}

bool FakeAudioPlayer::bindDevice(platform::AudioDeviceID device)
{
    if (owner_.refuseBinding || std::none_of(owner_.deviceList.begin(), owner_.deviceList.end(), [&](const auto& d) {
            return d.id == device && d.outputChannels > 0;
        }))
        return false;
    boundDevice = device;
    return true;
}

bool FakeAudioPlayer::start(const platform::AudioFormat& format)
{
    if (owner_.refuseStart)
        return false;
    startedFormat = format;
    return true;
}

void FakeAudioPlayer::scheduleBuffer(const platform::PCMBuffer& buffer,
                                     std::function<void(platform::PlaybackEnd)> onFinished)
{
    scheduled = buffer;
    onFinished_ = std::move(onFinished);
}

void FakeAudioPlayer::stop()
{
    stopped = true;
    playing = false;
    finishBuffer(platform::PlaybackEnd::stopped);
}

void FakeAudioPlayer::finishBuffer(platform::PlaybackEnd end)
{
    if (auto done = std::exchange(onFinished_, nullptr))
        done(end);
}

FakeAudioInput::~FakeAudioInput()
{
    std::replace(owner_.inputs.begin(), owner_.inputs.end(), this, static_cast<FakeAudioInput*>(nullptr));
}

bool FakeAudioInput::bindDevice(platform::AudioDeviceID device)
{
    if (owner_.refuseBinding || std::none_of(owner_.deviceList.begin(), owner_.deviceList.end(), [&](const auto& d) {
            return d.id == device && d.inputChannels > 0;
        }))
        return false;
    boundDevice = device;
    return true;
}

platform::AudioFormat FakeAudioInput::format() const
{
    return boundDevice ? owner_.inputFormat : platform::AudioFormat{};
}

void FakeAudioInput::installTap(std::uint32_t bufferFrames, Tap tap)
{
    std::lock_guard lock(tapMutex_);
    tapFrames = bufferFrames;
    tap_ = std::move(tap);
}

void FakeAudioInput::removeTap()
{
    std::lock_guard lock(tapMutex_);
    tap_ = nullptr;
}

bool FakeAudioInput::start()
{
    if (owner_.refuseStart)
        return false;
    running = true;
    return true;
}

bool FakeAudioInput::deliver(const platform::PCMBuffer& buffer)
{
    std::lock_guard lock(tapMutex_);
    if (!tap_)
        return false;
    tap_(buffer);
    return true;
}

bool FakeAudioService::setDefaultOutputDevice(platform::AudioDeviceID device)
{
    if (refuseDefaultOutput)
        return false;
    defaultOutput = device;
    return true;
}

bool FakeAudioService::setDefaultSystemOutputDevice(platform::AudioDeviceID device)
{
    defaultSystemOutput = device;
    return true;
}

std::unique_ptr<platform::AudioPlayer> FakeAudioService::makePlayer()
{
    ++playersMade;
    auto player = std::make_unique<FakeAudioPlayer>(*this);
    players.push_back(player.get());
    return player;
}

std::unique_ptr<platform::AudioInput> FakeAudioService::makeInput()
{
    if (inputFactory)
        return inputFactory();
    auto input = std::make_unique<FakeAudioInput>(*this);
    inputs.push_back(input.get());
    return input;
}

platform::AudioDeviceID FakeAudioService::add(const QString& uid, const QString& name, int inputChannels,
                                              int outputChannels)
{
    const auto id = nextID_++;
    deviceList.push_back({id, uid, name, inputChannels, outputChannels});
    return id;
}

void FakeAudioService::remove(const QString& uid)
{
    std::erase_if(deviceList, [&](const auto& d) { return d.uid == uid; });
}

platform::AudioDeviceInfo* FakeAudioService::find(const QString& uid)
{
    auto it = std::find_if(deviceList.begin(), deviceList.end(), [&](const auto& d) { return d.uid == uid; });
    return it == deviceList.end() ? nullptr : &*it;
}

} // namespace quorvia::test
