#include "editing/ScriptEditorTexts.h"

#include "model/PromptScript.h"

#include <algorithm>

namespace quorvia::script_editor {

QString initialTitle() { return QStringLiteral("编辑演讲稿"); }

QString ruleText()
{
    return QStringLiteral("这里只编辑当前时间线块。纯数字标识直接对应 Keynote 页码，允许多个块使用同一数字；纯英文字母标识为演示块。");
}

QString labelCaption() { return QStringLiteral("块标识"); }

QString labelPlaceholder() { return QStringLiteral("例如 4、A、browser"); }

QString windowTitle(const QString& label, const QString& projectName)
{
    return QStringLiteral("编辑稿件块 ") + label + QStringLiteral(" · ") + projectName;
}

Alert invalidLabelAlert()
{
    return {QStringLiteral("块标识无效"), QStringLiteral("请输入正整数或纯英文字母。演示块的英文字母标识不能重复。")};
}

Alert missingBlockAlert()
{
    return {QStringLiteral("该块已不存在"), QStringLiteral("该块已不存在，请重新打开编辑。")};
}

std::optional<Alert> saveProblem(const PromptScript& script, const std::optional<QUuid>& editingBlockID, const QString& label)
{
    const auto& blocks = script.timelineBlocks();
    const bool exists = editingBlockID && std::any_of(blocks.begin(), blocks.end(), [&](const PromptTimelineBlock& block) {
                            return block.id == *editingBlockID;
                        });
    if (!exists)
        return missingBlockAlert();
    if (!script.canUseTimelineLabel(label, editingBlockID))
        return invalidLabelAlert();
    return std::nullopt;
}

} // namespace quorvia::script_editor
