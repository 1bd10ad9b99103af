#include "editing/ScriptManagementState.h"

#include "model/PromptScript.h"

namespace quorvia {

ScriptManagementState ScriptManagementState::of(const PromptScript& script)
{
    return of(script.hasContent(), static_cast<qsizetype>(script.timelineBlocks().size()));
}

ScriptManagementState ScriptManagementState::of(bool hasContent, qsizetype blockCount)
{
    if (!hasContent)
        return {QStringLiteral("尚未导入稿件"), QStringLiteral("上传稿件"), false};
    return {QString::number(blockCount) + QStringLiteral(" 个时间线块"), QStringLiteral("重新导入稿件"), true};
}

} // namespace quorvia
