#include "prompter/TimelineCardTitle.h"

#include <QFontMetrics>

namespace quorvia {

TimelineCardTitle TimelineCardTitle::fit(const QString& label, const QFont& font, int width)
{
    QFont sized = font;
    for (int size = largestPixelSize; size >= smallestPixelSize; --size) {
        sized.setPixelSize(size);
        if (QFontMetrics(sized).horizontalAdvance(label) <= width)
            return {sized, label};
    }
    return {sized, QFontMetrics(sized).elidedText(label, Qt::ElideRight, width)};
}

} // namespace quorvia
