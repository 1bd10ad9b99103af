#include "model/PromptMode.h"

namespace quorvia {

QString rawValue(PromptMode mode)
{
    switch (mode) {
    case PromptMode::wordFollow: return QStringLiteral("wordFollow");
    case PromptMode::keyword: return QStringLiteral("keyword");
    case PromptMode::fixedScroll: return QStringLiteral("fixedScroll");
    }
    return QString();
}

QString title(PromptMode mode)
{
    switch (mode) {
    case PromptMode::wordFollow: return QStringLiteral("逐字跟读");
    case PromptMode::keyword: return QStringLiteral("关键词");
    case PromptMode::fixedScroll: return QStringLiteral("固定滚动");
    }
    return QString();
}

std::optional<PromptMode> promptModeFromRawValue(const QString& raw)
{
    for (auto mode : allPromptModes)
        if (rawValue(mode) == raw)
            return mode;
    return std::nullopt;
}

} // namespace quorvia
