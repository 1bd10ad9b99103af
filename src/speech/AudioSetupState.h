#pragma once

#include "speech/AudioDeviceDescriptor.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace quorvia {

class AudioDeviceController;

// The texts the audio setup window writes into its status line after an action.
namespace audio_setup_text {
inline const QString outputChangeRefused = QStringLiteral("无法更改系统默认输出，请在系统设置中手动选择。");
inline const QString toneFailed = QStringLiteral("测试音播放失败，请重新选择系统输出设备。");
inline const QString notSystemDefault = QStringLiteral("所选设备不是当前系统默认输出；请重新选择或在系统设置中修正。");
} // namespace audio_setup_text

// One device list: titles with their UIDs, and the item to select, if any.
struct AudioSetupPopup {
    std::vector<std::pair<QString, QString>> items; // name, UID
    std::optional<int> selectedIndex;

    static AudioSetupPopup of(const std::vector<AudioDeviceDescriptor>& devices,
                              const std::optional<QString>& selectedUID);
    friend bool operator==(const AudioSetupPopup&, const AudioSetupPopup&) = default;
};

// One line of the route: a device's name between words that say what it is
// and how it stands. Short of room, only the name gives way.
struct AudioRouteLine {
    QString lead;
    QString name;
    QString trail;

    QString text() const { return lead + name + trail; }
    friend bool operator==(const AudioRouteLine&, const AudioRouteLine&) = default;
};

// What the audio setup window shows, decided from the devices and the speech
// automation's status; the window only applies it.
struct AudioSetupState {
    AudioSetupPopup inputs;
    AudioSetupPopup outputs;
    std::vector<AudioRouteLine> route;
    QString routeText;
    QString statusText;
    QString confirmTitle;
    bool confirmChecked = false;

    static AudioSetupState of(const AudioDeviceController& devices, const QString& statusTitle,
                              const QString& statusDetail, bool routeVerified);
    static std::vector<AudioRouteLine> routeLines(const std::optional<AudioDeviceDescriptor>& input,
                                                  const std::optional<AudioDeviceDescriptor>& output,
                                                  bool outputIsSystemDefault);
    static QString routeLine(const std::vector<AudioRouteLine>& lines);
    static QString statusLine(const QString& title, const QString& detail) { return title + u'：' + detail; }
};

} // namespace quorvia
