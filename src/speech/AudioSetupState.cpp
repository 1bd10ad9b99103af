#include "speech/AudioSetupState.h"

#include "speech/AudioDeviceController.h"

#include <QStringList>

namespace quorvia {

AudioSetupPopup AudioSetupPopup::of(const std::vector<AudioDeviceDescriptor>& devices,
                                    const std::optional<QString>& selectedUID)
{
    AudioSetupPopup popup;
    for (const auto& device : devices) {
        if (selectedUID && !popup.selectedIndex && device.uid == *selectedUID)
            popup.selectedIndex = int(popup.items.size());
        popup.items.emplace_back(device.name, device.uid);
    }
    return popup;
}

std::vector<AudioRouteLine> AudioSetupState::routeLines(const std::optional<AudioDeviceDescriptor>& input,
                                                        const std::optional<AudioDeviceDescriptor>& output,
                                                        bool outputIsSystemDefault)
{
    const QString inputName = input ? input->name : QStringLiteral("无可用麦克风");
    const QString outputName = output ? output->name : QStringLiteral("无可用输出");
    const QString note = outputIsSystemDefault ? QStringLiteral("已设为系统默认输出") : QStringLiteral("尚未成为系统默认输出");
    return {{QStringLiteral("当前输入："), inputName, QString()},
            {QStringLiteral("当前系统输出："), outputName, QStringLiteral(" · ") + note}};
}

QString AudioSetupState::routeLine(const std::vector<AudioRouteLine>& lines)
{
    QStringList texts;
    for (const AudioRouteLine& line : lines)
        texts << line.text();
    return texts.join(u'\n');
}

AudioSetupState AudioSetupState::of(const AudioDeviceController& devices, const QString& statusTitle,
                                    const QString& statusDetail, bool routeVerified)
{
    const auto input = devices.selectedInput();
    const auto output = devices.selectedOutput();
    AudioSetupState state;
    state.inputs = AudioSetupPopup::of(devices.inputDevices(), input ? std::optional(input->uid) : std::nullopt);
    state.outputs = AudioSetupPopup::of(devices.outputDevices(), output ? std::optional(output->uid) : std::nullopt);
    state.route = routeLines(input, output, devices.selectedOutputIsSystemDefault());
    state.routeText = routeLine(state.route);
    state.statusText = statusLine(statusTitle, statusDetail);
    state.confirmChecked = routeVerified;
    state.confirmTitle = routeVerified ? QStringLiteral("会场输出已确认") : QStringLiteral("我在会场听到了");
    return state;
}

} // namespace quorvia
