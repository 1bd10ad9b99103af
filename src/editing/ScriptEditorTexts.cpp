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

Alert tooLargeAlert(ScriptText::SizeLimit limit)
{
    switch (limit) {
    case ScriptText::SizeLimit::blockBytes:
        return {QStringLiteral("稿件块过大"), QStringLiteral("这一块超过 1 MB，无法保存。请把它拆成几块。")};
    case ScriptText::SizeLimit::scriptBytes:
        return {QStringLiteral("稿件过大"), QStringLiteral("保存后稿件合计会超过 16 MB，无法保存。请把部分内容移到其他演讲项目。")};
    case ScriptText::SizeLimit::blockCount:
        break;
    }
    return {QStringLiteral("稿件过大"), QStringLiteral("稿件超过 2000 块，无法保存。请把它拆成几个演讲项目。")};
}

std::optional<Alert> saveProblem(const PromptScript& script, const std::optional<QUuid>& editingBlockID, const QString& label,
                                 const QString& text)
{
    const auto& blocks = script.timelineBlocks();
    const bool exists = editingBlockID && std::any_of(blocks.begin(), blocks.end(), [&](const PromptTimelineBlock& block) {
                            return block.id == *editingBlockID;
                        });
    if (!exists)
        return missingBlockAlert();
    if (!script.canUseTimelineLabel(label, editingBlockID))
        return invalidLabelAlert();
    if (const auto limit = script.exceededLimit(editingBlockID, label, text))
        return tooLargeAlert(*limit);
    return std::nullopt;
}

} // namespace quorvia::script_editor
