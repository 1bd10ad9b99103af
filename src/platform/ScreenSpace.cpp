#include "platform/ScreenSpace.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace quorvia::platform {

namespace {
struct Anchor {
    double left = 0;
    double bottom = 0;
};

Anchor anchor()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return {};
    const QRect g = primary->geometry();
    return {double(g.x()), double(g.y()) + g.height()};
}
} // namespace

Rect fromQtGlobal(const QRectF& r)
{
    const Anchor a = anchor();
    return Rect(r.x() - a.left, a.bottom - (r.y() + r.height()), r.width(), r.height());
}

QRect toQtGlobal(const Rect& r)
{
    const Anchor a = anchor();
    const double left = r.minX() + a.left;
    const double top = a.bottom - r.maxY();
    return QRect(int(std::lround(left)), int(std::lround(top)), int(std::lround(r.width())),
                 int(std::lround(r.height())));
}

Point fromQtGlobal(QPointF p)
{
    const Anchor a = anchor();
    return Point{p.x() - a.left, a.bottom - p.y()};
}

QPointF toQtGlobal(Point p)
{
    const Anchor a = anchor();
    return QPointF(p.x + a.left, a.bottom - p.y);
}

} // namespace quorvia::platform
