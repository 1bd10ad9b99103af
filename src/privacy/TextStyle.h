#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

namespace quorvia {

// The application font at a pixel size and weight.
QFont pixelFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// Colours the widget's text (its WindowText role).
void setTextColour(QWidget* widget, const QColor& colour);

// A label in a pixel font and text colour.
QLabel* styledLabel(const QString& text, const QFont& font, const QColor& colour);
// A label in its own font at a pixel size and weight, in a text colour.
QLabel* styledLabel(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour);

} // namespace quorvia
