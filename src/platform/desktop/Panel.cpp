#include "platform/desktop/Panel.h"

#include <QGuiApplication>

namespace quorvia::platform {

Panel::Panel(const Rect& frame, WindowStyle style) : Window(frame, style)
{
    applyFlags();
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, &Panel::applicationStateChanged);
}

void Panel::setFloatingPanel(bool floating)
{
    floating_ = floating;
    setLevel(floating ? floatingLevel : normalLevel);
}

void Panel::setHidesOnDeactivate(bool hides)
{
    hidesOnDeactivate_ = hides;
    if (!hides)
        hiddenByDeactivation_ = false;
}

void Panel::applicationStateChanged(Qt::ApplicationState state)
{
    if (!hidesOnDeactivate_)
        return;
    if (state != Qt::ApplicationActive && isVisible()) {
        hiddenByDeactivation_ = true;
        orderOut();
    } else if (state == Qt::ApplicationActive && hiddenByDeactivation_) {
        hiddenByDeactivation_ = false;
        orderFrontRegardless();
    }
}

} // namespace quorvia::platform
