#pragma once

#include "platform/core/Geometry.h"

#include <QRect>

namespace quorvia::platform {

// Conversions between the global y-up space and Qt's global top-left space,
// anchored where the display service puts the origin, from the picture its
// screens come from; else at the bottom-left corner of Qt's primary screen,
// and without a screen at Qt's origin.
Rect fromQtGlobal(const QRectF& qtRect);
QRect toQtGlobal(const Rect& rect);
Point fromQtGlobal(QPointF qtPoint);
QPointF toQtGlobal(Point point);

} // namespace quorvia::platform
