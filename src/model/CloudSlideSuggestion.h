#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace quorvia {

// One mapping proposed by cloud matching.
struct CloudSlideSuggestion {
    qint64 sectionIndex = 0; // from 0
    qint64 slideNumber = 1;  // from 1
    double confidence = 0;   // 0 to 1

    // A suggestion whose confidence, clamped to 0...1, lies below this needs review.
    static constexpr double reviewThreshold = 0.72;

    bool operator==(const CloudSlideSuggestion&) const = default;

    QJsonObject toJson() const;
    static std::optional<CloudSlideSuggestion> fromJson(const QJsonValue& value);
};

} // namespace quorvia
