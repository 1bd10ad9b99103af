#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quorvia::platform {

// Symbols by name ("gearshape", "chevron.up", ...), drawn as our own small
// vector icons in one colour, so no icon theme of the desktop changes how a
// control reads. An unknown name gives a null icon or pixmap: no picture
// rather than a wrong one.
bool hasSymbol(const QString& name);
QPixmap symbolPixmap(const QString& name, const QColor& color, int pixelSize, qreal devicePixelRatio = 1.0);
QIcon symbolIcon(const QString& name, const QColor& color, int pixelSize = 20);

} // namespace quorvia::platform
