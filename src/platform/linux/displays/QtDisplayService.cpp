#include "platform/linux/displays/QtDisplayService.h"

#include "platform/core/Fnv1a.h"
#include "platform/core/NotificationCenter.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/displays/QtScreenWatch.h"

#include <QGuiApplication>
#include <QScreen>

namespace quorvia::platform::native {

namespace {
// 0 stands for no identity at all.
std::uint32_t digest(const QString& text)
{
    return text.isEmpty() ? 0 : fnv1a32(text.toUtf8());
}

std::uint32_t serialNumber(const QString& text)
{
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok);
    if (ok && value <= 0xFFFFFFFFull)
        return std::uint32_t(value);
    return digest(text.trimmed());
}
} // namespace

QtDisplayService::QtDisplayService()
{
    watchQtScreens(this, [this] { changed(); });
}

void QtDisplayService::changed()
{
    NotificationCenter::defaultCenter().post(screenParametersChangedNotification, static_cast<DisplayService*>(this));
}

bool QtDisplayService::isBuiltInConnector(const QString& name)
{
    return name.startsWith(QLatin1String("eDP"), Qt::CaseInsensitive)
        || name.startsWith(QLatin1String("LVDS"), Qt::CaseInsensitive)
        || name.startsWith(QLatin1String("DSI"), Qt::CaseInsensitive);
}

DisplayID QtDisplayService::idFor(const QString& outputName) const
{
    auto it = ids_.find(outputName);
    if (it == ids_.end())
        it = ids_.insert(outputName, nextId_++);
    return *it;
}

std::vector<Screen> QtDisplayService::screens() const
{
    QList<QScreen*> list = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    // The primary screen leads the list, as the platform orders it.
    if (primary && list.removeOne(primary))
        list.prepend(primary);

    bool anyPanel = false;
    for (QScreen* s : list)
        anyPanel = anyPanel || isBuiltInConnector(s->name());

    std::vector<Screen> result;
    std::vector<QRect> geometries;
    for (QScreen* s : list) {
        const QRect g = s->geometry();
        const DisplayID id = idFor(s->name());
        // A second output with the same origin and size shows the same picture.
        auto same = std::find(geometries.begin(), geometries.end(), g);
        if (same != geometries.end()) {
            Screen& first = result[std::size_t(same - geometries.begin())];
            first.isInMirrorSet = true;
            continue;
        }
        Screen screen;
        screen.displayID = id;
        screen.frame = fromQtGlobal(QRectF(g));
        screen.visibleFrame = fromQtGlobal(QRectF(s->availableGeometry()));
        screen.backingScaleFactor = s->devicePixelRatio();
        screen.localizedName = s->model().isEmpty() ? s->name() : s->model();
        screen.isBuiltIn = anyPanel ? isBuiltInConnector(s->name()) : s == primary && id != audienceDisplay();
        screen.vendorNumber = digest(s->manufacturer());
        screen.modelNumber = digest(s->model());
        screen.serialNumber = serialNumber(s->serialNumber());
        result.push_back(screen);
        geometries.push_back(g);
    }
    // Identical monitors differ in their unit number.
    for (std::size_t i = 0; i < result.size(); ++i) {
        std::uint32_t unit = 0;
        for (std::size_t j = 0; j < i; ++j) {
            if (result[j].vendorNumber == result[i].vendorNumber && result[j].modelNumber == result[i].modelNumber
                && result[j].serialNumber == result[i].serialNumber)
                ++unit;
        }
        result[i].unitNumber = unit;
    }
    return result;
}

std::optional<Screen> QtDisplayService::mainScreen() const
{
    return screenOfFocusedWindow(*this);
}

} // namespace quorvia::platform::native
