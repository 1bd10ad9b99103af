#include "platform/core/Geometry.h"

#include <algorithm>

namespace quorvia::platform {

bool Rect::contains(Point p) const
{
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& r) const
{
    return r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() && r.maxY() <= maxY();
}

bool Rect::intersects(const Rect& r) const
{
    if (isEmpty() || r.isEmpty())
        return false;
    return r.minX() < maxX() && minX() < r.maxX() && r.minY() < maxY() && minY() < r.maxY();
}

Rect Rect::intersection(const Rect& r) const
{
    if (!intersects(r))
        return Rect();
    const double x0 = std::max(minX(), r.minX());
    const double y0 = std::max(minY(), r.minY());
    const double x1 = std::min(maxX(), r.maxX());
    const double y1 = std::min(maxY(), r.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::unionWith(const Rect& r) const
{
    if (isEmpty())
        return r;
    if (r.isEmpty())
        return *this;
    const double x0 = std::min(minX(), r.minX());
    const double y0 = std::min(minY(), r.minY());
    const double x1 = std::max(maxX(), r.maxX());
    const double y1 = std::max(maxY(), r.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::insetBy(double dx, double dy) const
{
    return Rect(origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy);
}

Rect Rect::offsetBy(double dx, double dy) const
{
    return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
}

QRectF toQt(const Rect& r, double primaryScreenHeight)
{
    return QRectF(r.minX(), primaryScreenHeight - r.maxY(), r.width(), r.height());
}

Rect fromQt(const QRectF& r, double primaryScreenHeight)
{
    return Rect(r.x(), primaryScreenHeight - (r.y() + r.height()), r.width(), r.height());
}

QPointF toQt(Point p, double primaryScreenHeight)
{
    return QPointF(p.x, primaryScreenHeight - p.y);
}

Point fromQt(QPointF p, double primaryScreenHeight)
{
    return Point{p.x(), primaryScreenHeight - p.y()};
}

} // namespace quorvia::platform
