#include "platform/desktop/Window.h"

#include <QApplication>
#include <QWidget>

namespace quorvia::platform {

namespace {

bool overlayShown()
{
    for (const Window* window : Window::allWindows())
        if (window->level() >= Window::overlayLevel && window->isVisible())
            return true;
    return false;
}

} // namespace

void Window::raiseModalsAbove(const QWidget& raised)
{
    // An overlay hides what is beneath on purpose; a raise would pass it.
    if (overlayShown())
        return;
    QWidget* newest = QApplication::activeModalWidget();
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != &raised && widget != newest && widget->isVisible() && widget->isModal())
            widget->raise();
    if (newest && newest != &raised && newest->isVisible())
        newest->raise();
}

} // namespace quorvia::platform
