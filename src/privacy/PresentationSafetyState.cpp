#include "privacy/PresentationSafetyState.h"

namespace quorvia {

QString PresentationSafetyState::title() const
{
    switch (kind_) {
    case Kind::disabled:
        return QStringLiteral("隐私输出已关闭");
    case Kind::preparing:
        return QStringLiteral("准备中");
    case Kind::standby:
        return QStringLiteral("待机");
    case Kind::preflighting:
        return QStringLiteral("预检中");
    case Kind::live:
        return QStringLiteral("隐私输出中");
    case Kind::privacyPaused:
        return QStringLiteral("隐私暂停");
    case Kind::degraded:
        return QStringLiteral("隐私输出中 · 能力降级");
    case Kind::safeStopped:
        return QStringLiteral("安全停止");
    }
    return {};
}

QString PresentationSafetyState::detail() const
{
    switch (kind_) {
    case Kind::disabled:
        return QStringLiteral("点击“启动隐私输出”后才会开始捕获");
    case Kind::preparing:
        return QStringLiteral("等待外接显示器");
    case Kind::standby:
        return QStringLiteral("观众端显示待机页");
    case Kind::preflighting:
        return QStringLiteral("正在验证显示与捕获链路");
    case Kind::live:
        return QStringLiteral("捕获链路已建立；本应用与 Keynote 窗口已从捕获中排除");
    case Kind::privacyPaused:
        return QStringLiteral("私密窗口已隐藏");
    case Kind::degraded:
    case Kind::safeStopped:
        return reason_;
    }
    return {};
}

} // namespace quorvia
