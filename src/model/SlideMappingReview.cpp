#include "model/SlideMappingReview.h"

#include "model/JsonFields.h"

namespace quorvia {

QString rawValue(SlideMappingReview::Origin origin)
{
    return origin == SlideMappingReview::Origin::cloudAI ? QStringLiteral("cloudAI") : QStringLiteral("manual");
}

std::optional<SlideMappingReview::Origin> slideMappingReviewOriginFromRawValue(const QString& raw)
{
    if (raw == QLatin1String("manual"))
        return SlideMappingReview::Origin::manual;
    if (raw == QLatin1String("cloudAI"))
        return SlideMappingReview::Origin::cloudAI;
    return std::nullopt;
}

QJsonObject SlideMappingReview::toJson() const
{
    QJsonObject object{{QStringLiteral("requiresReview"), requiresReview}, {QStringLiteral("origin"), rawValue(origin)}};
    if (suggestedSlide)
        object.insert(QStringLiteral("suggestedSlide"), *suggestedSlide);
    if (confidence)
        object.insert(QStringLiteral("confidence"), json::fromDouble(*confidence));
    return object;
}

std::optional<SlideMappingReview> SlideMappingReview::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    SlideMappingReview review;
    review.suggestedSlide = fields.optional(QStringLiteral("suggestedSlide"), json::toInteger);
    review.confidence = fields.optional(QStringLiteral("confidence"), json::toNumber);
    review.requiresReview = fields.required(QStringLiteral("requiresReview"), json::toBool);
    review.origin = fields.required(QStringLiteral("origin"), [](const QJsonValue& v) {
        const auto raw = json::toString(v);
        return raw ? slideMappingReviewOriginFromRawValue(*raw) : std::nullopt;
    });
    if (!fields.ok())
        return std::nullopt;
    return review;
}

} // namespace quorvia
