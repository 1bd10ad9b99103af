#include "platform/desktop/Symbols.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace quorvia::platform {

namespace {
// 24x24 drawings; "currentColor" takes the requested colour.
const QHash<QString, QString>& drawings()
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("gearshape"),
         QStringLiteral(R"(<path d="M12 2.5l1.6 2.3 2.7-.7.6 2.7 2.7.6-.7 2.7 2.3 1.6-2.3 1.6.7 2.7-2.7.6-.6 2.7-2.7-.7L12 21.5l-1.6-2.3-2.7.7-.6-2.7-2.7-.6.7-2.7L2.5 12l2.3-1.6-.7-2.7 2.7-.6.6-2.7 2.7.7z" fill="none" stroke="currentColor" stroke-width="1.8" stroke-linejoin="round"/><circle cx="12" cy="12" r="3.2" fill="none" stroke="currentColor" stroke-width="1.8"/>)")},
        {QStringLiteral("chevron.up"),
         QStringLiteral(R"(<path d="M5 15.5l7-7 7 7" fill="none" stroke="currentColor" stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"/>)")},
        {QStringLiteral("chevron.down"),
         QStringLiteral(R"(<path d="M5 8.5l7 7 7-7" fill="none" stroke="currentColor" stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"/>)")},
        {QStringLiteral("minus.circle.fill"),
         QStringLiteral(R"(<circle cx="12" cy="12" r="10" fill="currentColor"/><rect x="6.5" y="10.8" width="11" height="2.4" rx="1.2" fill="#000" fill-opacity="0.55"/>)")},
        {QStringLiteral("arrow.up.left.and.arrow.down.right"),
         QStringLiteral(R"(<path d="M4.5 10V4.5H10M4.5 4.5l6 6M19.5 14v5.5H14M19.5 19.5l-6-6" fill="none" stroke="currentColor" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>)")},
        {QStringLiteral("rectangle.on.rectangle"),
         QStringLiteral(R"(<rect x="7.5" y="3.5" width="13" height="10" rx="2" fill="none" stroke="currentColor" stroke-width="1.8"/><path d="M4.5 8v9.5a2 2 0 0 0 2 2H16" fill="none" stroke="currentColor" stroke-width="1.8" stroke-linecap="round"/>)")},
        {QStringLiteral("checklist"),
         QStringLiteral(R"(<path d="M3.5 6l1.8 1.8L8.5 4.5M3.5 13l1.8 1.8 3.2-3.3" fill="none" stroke="currentColor" stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round"/><path d="M11.5 6.5h9M11.5 13.5h9M11.5 19.5h9M4.5 19.5h3" fill="none" stroke="currentColor" stroke-width="1.8" stroke-linecap="round"/>)")},
    };
    return table;
}
} // namespace

bool hasSymbol(const QString& name) { return drawings().contains(name); }

QPixmap symbolPixmap(const QString& name, const QColor& color, int pixelSize, qreal devicePixelRatio)
{
    const auto it = drawings().constFind(name);
    if (it == drawings().constEnd() || pixelSize <= 0)
        return {};
    QString body = *it;
    body.replace(QStringLiteral("currentColor"), color.name(QColor::HexRgb));
    const QString svg = QStringLiteral(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" opacity="%1">%2</svg>)")
                            .arg(color.alphaF())
                            .arg(body);
    QSvgRenderer renderer(svg.toUtf8());
    const int side = static_cast<int>(std::ceil(pixelSize * devicePixelRatio));
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(const QString& name, const QColor& color, int pixelSize)
{
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = symbolPixmap(name, color, pixelSize, ratio);
        if (pixmap.isNull())
            return {};
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace quorvia::platform
