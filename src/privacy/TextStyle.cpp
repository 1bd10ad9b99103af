#include "privacy/TextStyle.h"

#include <QLabel>

namespace quorvia {

QFont pixelFont(int pixelSize, QFont::Weight weight)
{
    QFont f;
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
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
