#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace quorvia {

// Where one section's slide mapping came from and whether it wants a second look.
struct SlideMappingReview {
    enum class Origin { manual, cloudAI };

    std::optional<qint64> suggestedSlide;
    std::optional<double> confidence; // 0 to 1
    bool requiresReview = false;
    Origin origin = Origin::manual;

    // The review of every mapping that comes from a block label.
    static const SlideMappingReview manual;

    bool operator==(const SlideMappingReview&) const = default;

    QJsonObject toJson() const;
    static std::optional<SlideMappingReview> fromJson(const QJsonValue& value);
};

inline const SlideMappingReview SlideMappingReview::manual{std::nullopt, std::nullopt, false, SlideMappingReview::Origin::manual};

QString rawValue(SlideMappingReview::Origin origin);
std::optional<SlideMappingReview::Origin> slideMappingReviewOriginFromRawValue(const QString& raw);

} // namespace quorvia
