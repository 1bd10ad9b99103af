#include "platform/desktop/ScreenSpace.h"

#include "platform/Platform.h"
#include "platform/displays/DisplayService.h"

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
    if (const DisplayService* displays = hasCurrent() ? current().displayService.get() : nullptr)
        if (const auto origin = displays->globalOrigin())
            return {origin->x, origin->y};
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return {};
    const QRect g = primary->geometry();
    return {double(g.x()), double(g.y()) + g.height()};
}
} // namespace

// The flip itself is Geometry's; here we only shift by the origin's left
// edge, which is not always at 0 in Qt's space.
Rect fromQtGlobal(const QRectF& r)
{
    const Anchor a = anchor();
    return fromQt(r.translated(-a.left, 0), a.bottom);
}

QRect toQtGlobal(const Rect& r)
{
    const Anchor a = anchor();
    const QRectF q = toQt(r, a.bottom).translated(a.left, 0);
    return QRect(int(std::lround(q.x())), int(std::lround(q.y())), int(std::lround(q.width())),
                 int(std::lround(q.height())));
}

Point fromQtGlobal(QPointF p)
{
    const Anchor a = anchor();
    return fromQt(p - QPointF(a.left, 0), a.bottom);
}

QPointF toQtGlobal(Point p)
{
    const Anchor a = anchor();
    return toQt(p, a.bottom) + QPointF(a.left, 0);
}

} // namespace quorvia::platform
