#include "look/TextStyle.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QLabel>

#include <cmath>

namespace quorvia {

QFont pixelFont(int pixelSize, QFont::Weight weight)
{
    QFont f;
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

bool hasEqualDigitWidths(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit)
        if (std::abs(metrics.horizontalAdvance(QLatin1Char(digit)) - zero) > 0.01)
            return false;
    return true;
}

QFont monospacedDigitFont(const QFont& base)
{
    if (hasEqualDigitWidths(base))
        return base;
    // Families whose figures are tabular as drawn; the fixed-pitch font last.
    const QStringList candidates{QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Noto Sans"), QStringLiteral("Noto Sans Mono CJK SC"),
                                 QStringLiteral("DejaVu Sans Mono"),
                                 QFontDatabase::systemFont(QFontDatabase::FixedFont).family()};
    for (const QString& family : candidates) {
        if (family.isEmpty() || !QFontDatabase::hasFamily(family))
            continue;
        QFont candidate = base;
        QStringList families{family};
        families << (base.families().isEmpty() ? QStringList{base.family()} : base.families());
        candidate.setFamilies(families);
        if (hasEqualDigitWidths(candidate))
            return candidate;
    }
    return base;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

int chineseLinesHeight(const QFont& font, int lines)
{
    const QString sample = QStringList(lines, QStringLiteral("国Ag")).join(u'\n');
    return QFontMetrics(font).boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignLeft | Qt::AlignTop, sample).height();
}

QLabel* styledLabel(const QString& text, const QFont& font, const QColor& colour)
{
    auto* label = new QLabel(text);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

QLabel* styledLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

} // namespace quorvia
