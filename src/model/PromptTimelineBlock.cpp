#include "model/PromptTimelineBlock.h"

#include "model/JsonFields.h"
#include "model/WholeNumber.h"
#include "platform/core/Text.h"

namespace quorvia {

PromptTimelineBlockKind PromptTimelineBlock::kind() const
{
    const auto number = parseWholeNumber(label);
    if (number && *number > 0)
        return PromptTimelineBlockKind::slide(*number);
    return PromptTimelineBlockKind::demo(label);
}

bool PromptTimelineBlock::operator==(const PromptTimelineBlock& other) const
{
    return id == other.id && platform::text::canonicallyEqual(label, other.label)
        && platform::text::canonicallyEqual(text, other.text);
}

QJsonObject PromptTimelineBlock::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), json::fromUuid(id)}, {QStringLiteral("label"), label}, {QStringLiteral("text"), text}};
}

std::optional<PromptTimelineBlock> PromptTimelineBlock::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    const QUuid id = fields.required(QStringLiteral("id"), json::toUuid);
    const QString label = fields.required(QStringLiteral("label"), json::toString);
    const QString text = fields.required(QStringLiteral("text"), json::toString);
    if (!fields.ok())
        return std::nullopt;
    return PromptTimelineBlock(id, label, text);
}

} // namespace quorvia
