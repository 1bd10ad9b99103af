#include "speech/AudioDeviceController.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/core/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/core/Text.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace quorvia {

namespace {
QString word(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
} // namespace

AudioDeviceController::AudioDeviceController() : AudioDeviceController(platform::current().defaults()) {}

AudioDeviceController::AudioDeviceController(platform::DefaultsStore& defaults)
    : defaults_(defaults), life_(std::make_shared<AudioDeviceController*>(this))
{
    selectedInputUID_ = defaults_.string(inputUIDKey);
    selectedOutputUID_ = defaults_.string(outputUIDKey);
}

AudioDeviceController& AudioDeviceController::loaded() const
{
    // Never built const: the controller is only ever owned and used mutably.
    auto& self = const_cast<AudioDeviceController&>(*this);
    if (!devicesRead_)
        self.refresh();
    return self;
}

void AudioDeviceController::loadDevices() const { loaded(); }

const std::vector<AudioDeviceDescriptor>& AudioDeviceController::devices() const { return loaded().devices_; }

const std::optional<QString>& AudioDeviceController::selectedInputUID() const { return loaded().selectedInputUID_; }

const std::optional<QString>& AudioDeviceController::selectedOutputUID() const { return loaded().selectedOutputUID_; }

AudioDeviceController::~AudioDeviceController()
{
    life_.reset();
    stopTestTone();
}

std::vector<AudioDeviceDescriptor> AudioDeviceController::readDevices() const
{
    std::vector<AudioDeviceDescriptor> fresh;
    for (const auto& info : platform::current().audio().devices()) {
        if (info.uid.isEmpty())
            continue;
        AudioDeviceDescriptor device{info.id, info.uid, info.name, info.inputChannels > 0, info.outputChannels > 0};
        if (device.supportsInput || device.supportsOutput)
            fresh.push_back(std::move(device));
    }
    sortByName(fresh);
    return fresh;
}

void AudioDeviceController::sortByName(std::vector<AudioDeviceDescriptor>& devices)
{
    std::stable_sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
        return platform::text::localizedStandardCompare(a.name, b.name) < 0;
    });
}

QString AudioDeviceController::deviceSignature(const std::vector<AudioDeviceDescriptor>& devices,
                                               std::optional<std::uint32_t> defaultInput,
                                               std::optional<std::uint32_t> defaultOutput)
{
    QStringList pieces;
    for (const auto& device : devices)
        pieces << device.uid + u':' + word(device.supportsInput) + u':' + word(device.supportsOutput);
    return pieces.join(u'|') + QStringLiteral("|default:") + QString::number(defaultInput.value_or(0)) + u':'
        + QString::number(defaultOutput.value_or(0));
}

bool AudioDeviceController::refresh()
{
    auto& audio = platform::current().audio();
    auto fresh = readDevices();
    const QString signature = deviceSignature(fresh, audio.defaultInputDevice(), audio.defaultOutputDevice());
    const bool changed = devicesRead_ && signature != lastDeviceSignature_;
    devicesRead_ = true;
    devices_ = std::move(fresh);
    lastDeviceSignature_ = signature;

    const auto lacks = [](const std::vector<AudioDeviceDescriptor>& list, const QString& uid) {
        return std::none_of(list.begin(), list.end(), [&](const auto& d) { return d.uid == uid; });
    };
    // Only the in-memory choice goes: the stored one returns with its device.
    if (selectedInputUID_ && lacks(inputDevices(), *selectedInputUID_))
        selectedInputUID_.reset();
    if (selectedOutputUID_ && lacks(outputDevices(), *selectedOutputUID_))
        selectedOutputUID_.reset();
    return changed;
}

std::vector<AudioDeviceDescriptor> AudioDeviceController::inputDevices() const
{
    std::vector<AudioDeviceDescriptor> result;
    const auto& devices = this->devices();
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(result),
                 [](const auto& d) { return d.supportsInput; });
    return result;
}

std::vector<AudioDeviceDescriptor> AudioDeviceController::outputDevices() const
{
    std::vector<AudioDeviceDescriptor> result;
    const auto& devices = this->devices();
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(result),
                 [](const auto& d) { return d.supportsOutput; });
    return result;
}

std::optional<AudioDeviceDescriptor>
AudioDeviceController::selectedDevice(const std::optional<QString>& uid,
                                      std::optional<platform::AudioDeviceID> systemDefault,
                                      bool AudioDeviceDescriptor::*supports) const
{
    const auto found = [&](auto predicate) -> std::optional<AudioDeviceDescriptor> {
        auto it = std::find_if(devices_.begin(), devices_.end(), predicate);
        if (it == devices_.end())
            return std::nullopt;
        return *it;
    };
    if (uid)
        return found([&](const auto& d) { return d.uid == *uid && d.*supports; });
    if (systemDefault)
        return found([&](const auto& d) { return d.id == *systemDefault; });
    return found([&](const auto& d) { return d.*supports; });
}

std::optional<AudioDeviceDescriptor> AudioDeviceController::selectedInput() const
{
    loadDevices();
    return selectedDevice(selectedInputUID_,
                          selectedInputUID_ ? std::nullopt : platform::current().audio().defaultInputDevice(),
                          &AudioDeviceDescriptor::supportsInput);
}

std::optional<AudioDeviceDescriptor> AudioDeviceController::selectedOutput() const
{
    loadDevices();
    return selectedDevice(selectedOutputUID_,
                          selectedOutputUID_ ? std::nullopt : platform::current().audio().defaultOutputDevice(),
                          &AudioDeviceDescriptor::supportsOutput);
}

bool AudioDeviceController::selectedOutputIsSystemDefault() const
{
    const auto output = selectedOutput();
    if (!output)
        return false;
    const auto systemDefault = platform::current().audio().defaultOutputDevice();
    return systemDefault && *systemDefault == output->id;
}

void AudioDeviceController::selectInput(const QString& uid)
{
    const auto inputs = inputDevices();
    if (std::none_of(inputs.begin(), inputs.end(), [&](const auto& d) { return d.uid == uid; }))
        return;
    selectedInputUID_ = uid;
    defaults_.setString(inputUIDKey, uid);
    notifyChanged();
}

bool AudioDeviceController::selectOutput(const QString& uid)
{
    const auto outputs = outputDevices();
    auto it = std::find_if(outputs.begin(), outputs.end(), [&](const auto& d) { return d.uid == uid; });
    if (it == outputs.end())
        return false;
    auto& audio = platform::current().audio();
    if (!audio.setDefaultOutputDevice(it->id))
        return false;
    audio.setDefaultSystemOutputDevice(it->id);
    selectedOutputUID_ = uid;
    defaults_.setString(outputUIDKey, uid);
    notifyChanged();
    return true;
}

void AudioDeviceController::notifyChanged()
{
    platform::NotificationCenter::defaultCenter().post(NotificationName::audioDeviceSelectionChanged, this);
}

std::expected<void, AudioDeviceError> AudioDeviceController::configureInputNode(platform::AudioInput& input) const
{
    const auto device = selectedInput();
    if (!device || !input.bindDevice(device->id))
        return std::unexpected(AudioDeviceError::inputUnavailable);
    return {};
}

} // namespace quorvia
