#include "model/PresentationSlide.h"

#include "model/JsonFields.h"
#include "platform/core/Text.h"

namespace quorvia {

QString PresentationSlide::shortTitle() const
{
    QString line = text;
    line.replace(QChar(u'\n'), QChar(u' '));
    line = platform::text::trimmedWhitespaceAndNewlines(line);
    if (line.isEmpty())
        return QStringLiteral("无文字");
    return platform::text::graphemePrefix(line, 42);
}

QJsonObject PresentationSlide::toJson() const
{
    return QJsonObject{{QStringLiteral("number"), number}, {QStringLiteral("text"), text}};
}

std::optional<PresentationSlide> PresentationSlide::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    PresentationSlide slide;
    slide.number = fields.required(QStringLiteral("number"), json::toInteger);
    slide.text = fields.required(QStringLiteral("text"), json::toString);
    if (!fields.ok())
        return std::nullopt;
    return slide;
}

} // namespace quorvia
