#include "keynote/KeynoteConnectionState.h"

namespace quorvia {

QString KeynoteConnectionState::title() const
{
    switch (kind) {
    case Kind::ready:
        return QStringLiteral("Keynote：第 ") + QString::number(currentSlide) + QStringLiteral(" / ")
            + QString::number(slideCount) + QStringLiteral(" 页 · ")
            + (isPlaying ? QStringLiteral("放映中") : QStringLiteral("编辑中"));
    case Kind::checking:
        return QStringLiteral("Keynote：检测中");
    case Kind::notInstalled:
        return QStringLiteral("Keynote：未安装");
    case Kind::notRunning:
        return QStringLiteral("Keynote：未运行");
    case Kind::noDocument:
        return QStringLiteral("Keynote：未打开文稿");
    case Kind::automationDenied:
        return QStringLiteral("Keynote：未授权控制");
    case Kind::unavailable:
        break;
    }
    return QStringLiteral("Keynote：无法读取");
}

QString KeynoteConnectionState::detail() const
{
    switch (kind) {
    case Kind::ready:
        return isPlaying ? QStringLiteral("页内 build 不改变页码；只在实际换页时同步提词。")
                         : QStringLiteral("已定向读取当前页；可使用 Keynote 原生外屏或本应用隐私输出。");
    case Kind::checking:
        return QStringLiteral("正在读取 Keynote 当前页。");
    case Kind::notInstalled:
        return QStringLiteral("本机未找到 Keynote。安装后重新检测。");
    case Kind::notRunning:
        return QStringLiteral("请先打开 Keynote 和演示文稿，再重新检测。");
    case Kind::noDocument:
        return QStringLiteral("Keynote 已运行，但没有打开的演示文稿。");
    case Kind::automationDenied:
        return QStringLiteral("请在系统设置的“隐私与安全性 → 自动化”中允许本应用控制 Keynote。");
    case Kind::unavailable:
        break;
    }
    return QStringLiteral("Keynote 没有返回可识别的页码；自动同步保持关闭。");
}

} // namespace quorvia
