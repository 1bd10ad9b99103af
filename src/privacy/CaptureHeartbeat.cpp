#include "privacy/CaptureHeartbeat.h"

namespace quorvia {

void CaptureHeartbeat::begin(double uptime)
{
    lastCallbackUptime = uptime;
    suspendedSinceUptime.reset();
}

CaptureHealthDecision CaptureHeartbeat::observe(CaptureFrameSignal signal, double uptime)
{
    lastCallbackUptime = uptime;
    switch (signal) {
    case CaptureFrameSignal::renderable:
    case CaptureFrameSignal::idle:
        suspendedSinceUptime.reset();
        return CaptureHealthDecision::healthy();
    case CaptureFrameSignal::suspended:
        // A run of suspended frames keeps the time of its first.
        if (!suspendedSinceUptime)
            suspendedSinceUptime = uptime;
        return CaptureHealthDecision::freezeLastSafeFrame();
    case CaptureFrameSignal::blank:
        return CaptureHealthDecision::failClosed(QStringLiteral("ScreenCaptureKit 返回空白状态"));
    case CaptureFrameSignal::stopped:
        return CaptureHealthDecision::failClosed(QStringLiteral("ScreenCaptureKit 已停止输出"));
    case CaptureFrameSignal::unknown:
        break;
    }
    return CaptureHealthDecision::failClosed(QStringLiteral("ScreenCaptureKit 返回未知帧状态"));
}

CaptureHealthDecision CaptureHeartbeat::check(double uptime) const
{
    if (lastCallbackUptime && uptime - *lastCallbackUptime > callbackTimeout)
        return CaptureHealthDecision::failClosed(QStringLiteral("捕获流心跳超时"));
    if (suspendedSinceUptime && uptime - *suspendedSinceUptime > suspensionGrace)
        return CaptureHealthDecision::failClosed(QStringLiteral("捕获流持续挂起，无法保证画面安全"));
    return suspendedSinceUptime ? CaptureHealthDecision::freezeLastSafeFrame() : CaptureHealthDecision::healthy();
}

} // namespace quorvia
