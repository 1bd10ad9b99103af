#include "prompter/TimelineCardView.h"

#include "look/DarkColours.h"

#include <QPainter>

namespace quorvia {

void TimelineCardView::paint(QPainter& painter, const TimelineCardTitle& title) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double border = selected ? 2 : 1;
    painter.setPen(QPen(selected ? dark_colours::controlAccent() : dark_colours::timelineCardBorder(), border));
    QColor fill = selected ? dark_colours::controlAccent() : dark_colours::timelineCardFill();
    if (selected)
        fill.setAlphaF(0.34f);
    painter.setBrush(fill);
    // The border is drawn inside the card, as a layer border is.
    const QRectF inner = QRectF(frame).adjusted(border / 2, border / 2, -border / 2, -border / 2);
    painter.drawRoundedRect(inner, 7 - border / 2, 7 - border / 2);

    painter.setFont(title.font);
    painter.setPen(dark_colours::white());
    painter.drawText(titleRect(), Qt::AlignCenter, title.text);
    painter.restore();
}

QPixmap TimelineCardView::dragImage(const TimelineCardTitle& title, qreal devicePixelRatio) const
{
    if (frame.isEmpty())
        return QPixmap(frame.size());
    QPixmap image(frame.size() * devicePixelRatio);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    TimelineCardView atOrigin = *this;
    atOrigin.frame.moveTopLeft({0, 0});
    atOrigin.paint(painter, title);
    return image;
}

} // namespace quorvia
