#include "island/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace quorvia {

ElidedLabel::ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(text, parent), mode_(mode)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("…")) * 2, fontMetrics().height());
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), mode_, r.width());
    style()->drawItemText(&p, r, int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(), shown,
                          foregroundRole());
}

} // namespace quorvia
