#include "platform/capture/CaptureService.h"

namespace quorvia::platform {

QString description(CaptureError error)
{
    switch (error) {
    case CaptureError::contentUnavailable:
        return QStringLiteral("无法读取可捕获内容");
    case CaptureError::permissionDenied:
        return QStringLiteral("未获得屏幕录制权限");
    case CaptureError::displayUnavailable:
        return QStringLiteral("找不到要捕获的显示器");
    case CaptureError::exclusionUnavailable:
        return QStringLiteral("无法保证从捕获中排除指定窗口");
    case CaptureError::outputUnavailable:
        return QStringLiteral("无法建立捕获输出");
    case CaptureError::startFailed:
        return QStringLiteral("捕获启动失败");
    case CaptureError::streamInterrupted:
        return QStringLiteral("捕获流异常停止");
    case CaptureError::configurationRejected:
        return QStringLiteral("捕获配置被拒绝");
    }
    return QStringLiteral("未知的捕获错误");
}

} // namespace quorvia::platform
