#include "platform/system/ScriptRunner.h"

namespace quorvia::platform {

ScriptReply ScriptReply::text(const QString& value)
{
    ScriptReply reply;
    reply.text_ = value;
    return reply;
}

ScriptReply ScriptReply::list(std::vector<std::optional<QString>> items)
{
    ScriptReply reply;
    reply.isList_ = true;
    reply.items_ = std::move(items);
    return reply;
}

std::optional<QString> ScriptReply::item(int index) const
{
    if (index < 1 || index > numberOfItems())
        return std::nullopt;
    return items_[static_cast<std::size_t>(index - 1)];
}

QString ScriptError::description() const
{
    switch (kind) {
    case ScriptErrorKind::cannotCompile:
        return QStringLiteral("脚本无法编译。");
    case ScriptErrorKind::failed:
        break;
    }
    return QStringLiteral("脚本运行失败。");
}

} // namespace quorvia::platform
