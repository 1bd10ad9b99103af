#include "platform/linux/displays/QtScreenWatch.h"

#include "platform/desktop/ScreenSpace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace quorvia::platform::native {

namespace {
void watchScreen(QObject* owner, QScreen* screen, const std::function<void()>& onChange)
{
    QObject::connect(screen, &QScreen::geometryChanged, owner, onChange);
    QObject::connect(screen, &QScreen::availableGeometryChanged, owner, onChange);
    QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, owner, onChange);
}
} // namespace

void watchQtScreens(QObject* owner, const std::function<void()>& onChange)
{
    if (!qGuiApp)
        return;
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(owner, screen, onChange);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, owner, [owner, onChange](QScreen* screen) {
        watchScreen(owner, screen, onChange);
        onChange();
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, owner, [onChange](QScreen*) { onChange(); });
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, owner, [onChange](QScreen*) { onChange(); });
}

std::optional<Screen> screenOfFocusedWindow(const DisplayService& service)
{
    const auto all = service.screens();
    if (all.empty())
        return std::nullopt;
    if (QWindow* active = QGuiApplication::focusWindow()) {
        const Rect frame = fromQtGlobal(QRectF(active->frameGeometry()));
        if (auto s = service.screenContaining(frame))
            return s;
    }
    return all.front();
}

} // namespace quorvia::platform::native
