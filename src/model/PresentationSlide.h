#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace quorvia {

// One slide of a bound deck; the text stays empty for a Keynote deck.
struct PresentationSlide {
    qint64 number = 1;
    QString text;

    // One line, trimmed, at most 42 user-perceived characters; "无文字" when empty.
    QString shortTitle() const;

    bool operator==(const PresentationSlide&) const = default;

    QJsonObject toJson() const;
    static std::optional<PresentationSlide> fromJson(const QJsonValue& value);
};

} // namespace quorvia
