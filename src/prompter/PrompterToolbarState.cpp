#include "prompter/PrompterToolbarState.h"

namespace quorvia {

bool PrompterToolbarState::isSpeechActive(const PrompterSpeechStatus& status)
{
    return status.kind == PrompterSpeechStatus::Kind::listening || status.kind == PrompterSpeechStatus::Kind::questionPaused;
}

PrompterToolbarState PrompterToolbarState::make(const Inputs& in)
{
    using Kind = PrompterSpeechStatus::Kind;
    PrompterToolbarState s;
    const bool canRun = in.hasContent && in.automationAvailable;
    if (in.mode == PromptMode::fixedScroll) {
        s.speedLabel = QStringLiteral("固定滚动 · ") + in.speedText;
        s.toggleTitle = in.autoScrollRunning ? QStringLiteral("暂停滚动") : QStringLiteral("开始滚动");
        s.toggleEnabled = canRun;
        s.slowerEnabled = canRun && in.canDecreaseSpeed;
        s.fasterEnabled = canRun && in.canIncreaseSpeed;
        s.questionPauseTitle = QStringLiteral("问答暂停");
        s.questionPauseEnabled = false;
    } else {
        s.speedLabel = in.speech.title;
        s.toggleTitle = isSpeechActive(in.speech) ? QStringLiteral("停止语音") : QStringLiteral("开始语音");
        s.toggleEnabled = canRun;
        if (in.speech.kind == Kind::degraded) {
            s.questionPauseTitle = QStringLiteral("恢复语音");
            s.questionPauseEnabled = canRun;
        } else if (in.speech.kind == Kind::questionPaused) {
            s.questionPauseTitle = QStringLiteral("继续跟读");
            s.questionPauseEnabled = canRun;
        } else {
            s.questionPauseTitle = QStringLiteral("问答暂停");
            s.questionPauseEnabled = in.speech.kind == Kind::listening;
        }
    }
    s.smallerFontEnabled = in.canDecreaseFontSize;
    s.largerFontEnabled = in.canIncreaseFontSize;
    s.syncTitle = in.syncEnabled ? QStringLiteral("关闭双向同步") : QStringLiteral("启用双向同步");
    const auto kind = in.safety.kind();
    s.syncEnabled = kind == PresentationSafetyState::Kind::disabled || kind == PresentationSafetyState::Kind::live;
    return s;
}

QString PrompterToolbarState::windowTitle(const QString& projectName)
{
    return QStringLiteral("私密提词窗口 · ") + projectName;
}

QString PrompterToolbarState::badgeText(const QString& projectName, const QString& positionText)
{
    return QStringLiteral("PRIVATE · ") + projectName + QStringLiteral(" · ") + positionText;
}

} // namespace quorvia
