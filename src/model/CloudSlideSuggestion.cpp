#include "model/CloudSlideSuggestion.h"

#include "model/JsonFields.h"

namespace quorvia {

QJsonObject CloudSlideSuggestion::toJson() const
{
    return QJsonObject{
        {QStringLiteral("section_index"), sectionIndex},
        {QStringLiteral("slide_number"), slideNumber},
        {QStringLiteral("confidence"), json::fromDouble(confidence)},
    };
}

std::optional<CloudSlideSuggestion> CloudSlideSuggestion::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    CloudSlideSuggestion suggestion;
    suggestion.sectionIndex = fields.required(QStringLiteral("section_index"), json::toInteger);
    suggestion.slideNumber = fields.required(QStringLiteral("slide_number"), json::toInteger);
    suggestion.confidence = fields.required(QStringLiteral("confidence"), json::toNumber);
    if (!fields.ok())
        return std::nullopt;
    return suggestion;
}

} // namespace quorvia
