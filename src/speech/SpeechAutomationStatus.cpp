#include "speech/SpeechAutomationStatus.h"

namespace quorvia {

QString SpeechAutomationStatus::title() const
{
    switch (kind) {
    case Kind::calibrating: return QStringLiteral("语音：校准中 ") + QString::number(secondsRemaining) + QStringLiteral("s");
    case Kind::listening: return QStringLiteral("语音：") + quorvia::title(mode) + QStringLiteral("中");
    case Kind::degraded: return QStringLiteral("语音：已降级");
    case Kind::unavailable: return QStringLiteral("语音：不可用");
    case Kind::calibrationRequired:
    case Kind::ready: return QStringLiteral("语音：待命");
    case Kind::questionPaused: return QStringLiteral("语音：问答暂停");
    }
    return {};
}

QString SpeechAutomationStatus::detail() const
{
    switch (kind) {
    case Kind::calibrating: return QStringLiteral("正在检查输入电平、识别结果与短时延迟。");
    case Kind::listening: return QStringLiteral("识别结果只在本机用于模糊对齐，不保存语音原文。");
    case Kind::degraded:
    case Kind::unavailable: return message;
    case Kind::calibrationRequired: return QStringLiteral("选择逐字跟读或关键词后可直接开始识别。");
    case Kind::ready: return QStringLiteral("开始后直接尝试本机识别；失败时可改用固定滚动或手动。");
    case Kind::questionPaused: return QStringLiteral("继续显示进度，但不会因观众问答自动前进。");
    }
    return {};
}

} // namespace quorvia
