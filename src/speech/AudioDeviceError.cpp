#include "speech/AudioDeviceError.h"

namespace quorvia {

QString description(AudioDeviceError error)
{
    switch (error) {
    case AudioDeviceError::inputUnavailable:
        break;
    }
    return QStringLiteral("无法使用所选麦克风，请重新选择并校准。");
}

} // namespace quorvia
