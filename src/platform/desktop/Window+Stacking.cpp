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

void raiseWithItsWindow(QWidget& modal, const QWidget* raised)
{
    if (&modal == raised || !modal.isVisible())
        return;
    if (QWidget* parent = modal.parentWidget()) {
        QWidget* own = parent->window();
        if (own != raised && own->isVisible())
            own->raise();
    }
    modal.raise();
}

void raiseAll(const QWidget* raised)
{
    // An overlay hides what is beneath on purpose; a raise would pass it.
    if (overlayShown())
        return;
    QWidget* newest = QApplication::activeModalWidget();
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != newest && widget->isModal())
            raiseWithItsWindow(*widget, raised);
    if (newest)
        raiseWithItsWindow(*newest, raised);
}

} // namespace

void Window::raiseModalsAbove(const QWidget& raised) { raiseAll(&raised); }

void Window::raiseModals() { raiseAll(nullptr); }

} // namespace quorvia::platform
