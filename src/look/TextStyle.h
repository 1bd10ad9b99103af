#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

namespace quorvia {

// The application font at a pixel size and weight.
QFont pixelFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// The font with digits of one width, so figures that change do not make the
// text around them jump: the font itself when its digits already are, else
// the first family at hand whose digits are (other characters still come
// from the font's own family), else the font unchanged.
QFont monospacedDigitFont(const QFont& base);
bool hasEqualDigitWidths(const QFont& font);

// The height of `lines` lines of Chinese text in the font: its characters come
// from a fallback font whose lines are taller than the font's own metrics say.
int chineseLinesHeight(const QFont& font, int lines);

// Colours the widget's text (its WindowText role).
void setTextColour(QWidget* widget, const QColor& colour);

// A label in a pixel font and text colour.
QLabel* styledLabel(const QString& text, const QFont& font, const QColor& colour);
// A label in its own font at a pixel size and weight, in a text colour.
QLabel* styledLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour);

} // namespace quorvia
