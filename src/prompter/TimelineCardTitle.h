#pragma once

#include <QFont>
#include <QString>

namespace quorvia {

// What a card's title shows in the room it has: the label at the card's own
// size when it fits, else at a smaller size down to a floor, else cut short
// with an ellipsis at the floor.
struct TimelineCardTitle {
    static constexpr int largestPixelSize = 14;
    static constexpr int smallestPixelSize = 9;

    QFont font;
    QString text;

    static TimelineCardTitle fit(const QString& label, const QFont& font, int width);
};

} // namespace quorvia
