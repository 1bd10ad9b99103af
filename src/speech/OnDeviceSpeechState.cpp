#include "speech/OnDeviceSpeechState.h"

namespace quorvia {

QString OnDeviceSpeechState::detail() const
{
    switch (kind) {
    case Kind::unavailable:
    case Kind::failed:
        return message;
    case Kind::idle:
        return QStringLiteral("设备端识别未运行");
    case Kind::preparing:
        return QStringLiteral("正在准备设备端中文语音模型");
    case Kind::listening:
        return QStringLiteral("设备端连续识别中；现场音频不会上传");
    }
    return {};
}

} // namespace quorvia
