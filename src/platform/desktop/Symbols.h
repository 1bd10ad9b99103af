#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quorvia::platform {

// Symbols by the design's names ("gearshape", "chevron.up", ...), drawn as our
// own small vector icons in one colour. An unknown name gives a null icon or
// pixmap, as a missing system symbol gives no image.
bool hasSymbol(const QString& name);
QPixmap symbolPixmap(const QString& name, const QColor& color, int pixelSize, qreal devicePixelRatio = 1.0);
QIcon symbolIcon(const QString& name, const QColor& color, int pixelSize = 20);

} // namespace quorvia::platform
