#include "platform/desktop/Window.h"

#include "platform/Platform.h"
#include "platform/desktop/WindowSystem.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWindow>
#include <QtGui/private/qguiapplication_p.h>

#include <optional>

namespace quorvia::platform {

namespace {

// The window last sent the keyboard, until the server next moves it.
QPointer<QWidget> keyboardSent;
// Counts every ask for the keyboard: a hand-back queued before one yields to it.
unsigned keyboardAsks = 0;
// The window of ours the speaker last clicked or typed in, or answered a
// dialog of, while the keyboard stayed with us.
QPointer<QWidget> actedIn;
// Whether that was after the keyboard was last asked for: an ask of ours
// since (a window brought forward, a closed window's hand-back) moved the speaker there.
bool actedSinceAsk = false;

void watchFocus()
{
    static QPointer<QCoreApplication> watched;
    if (watched == QCoreApplication::instance())
        return;
    watched = QCoreApplication::instance();
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, qGuiApp, [](QWindow* now) {
        if (now)
            keyboardSent = nullptr;
        else
            actedIn = nullptr; // the keyboard left us: a click from before opens nothing later
    });
}

std::optional<KeyboardFocus> serverFocus()
{
    WindowSystem* system = hasCurrent() ? current().windowSystem() : nullptr;
    return system ? system->keyboardFocus() : std::nullopt;
}

bool isPopover(const QWidget* widget)
{
    const auto* window = qobject_cast<const Window*>(widget);
    return (window && contains(window->styleMask(), WindowStyle::popover)) || widget->windowType() == Qt::Popup;
}

} // namespace

QWidget* Window::keyboardDestination()
{
    const auto focus = serverFocus();
    if (keyboardSent && keyboardSent->isVisible() && !(focus && focus->holder == KeyboardFocus::Holder::otherProgram))
        return keyboardSent;
    return focus ? focus->window : QApplication::activeWindow();
}

QWidget* Window::speakersWindow()
{
    // A dialog of ours with the keyboard stands modal: the speaker acts in it.
    QWidget* keyboard = keyboardDestination();
    if (qobject_cast<QDialog*>(keyboard) && keyboard->isVisible())
        return keyboard;
    if (actedIn && actedIn->isVisible() && actedSinceAsk)
        return actedIn;
    return keyboard;
}

bool Window::anotherProgramHasKeyboard()
{
    const auto focus = serverFocus();
    return focus && focus->holder == KeyboardFocus::Holder::otherProgram;
}

QWidget* Window::windowWithKeyboard()
{
    const auto focus = serverFocus();
    return focus ? focus->window : QApplication::activeWindow();
}

bool Window::sendKeyboardTo(QWidget& window)
{
    if (const auto* ours = qobject_cast<Window*>(&window); ours && !ours->canBecomeKey())
        return false;
    watchFocus();
    window.activateWindow();
    keyboardSent = &window;
    ++keyboardAsks;
    actedSinceAsk = false;
    return true;
}

void Window::showLeavingKeyboard(QWidget& window)
{
    // Qt copies the attribute onto a native window it makes, and maps one
    // with this property at a user time of zero, which no window manager
    // answers with the keyboard. Both are put back for later shows.
    static const char* const withoutActivating = "_q_showWithoutActivating";
    const bool always = window.testAttribute(Qt::WA_ShowWithoutActivating);
    if (QWindow* handle = window.windowHandle())
        handle->setProperty(withoutActivating, true);
    window.setAttribute(Qt::WA_ShowWithoutActivating, true);
    // Qt's X11 layer asks the keyboard for a modal window it maps, past the
    // zero user time: mapped plain, it stands modal again at once.
    const QPointer<QWindow> modal =
        !window.isVisible() && window.windowHandle() && window.windowHandle()->isModal() ? window.windowHandle() : nullptr;
    const Qt::WindowModality modality = modal ? modal->modality() : Qt::NonModal;
    if (modal) {
        if (WindowSystem* system = hasCurrent() ? current().windowSystem() : nullptr)
            system->markModal(window);
        modal->setModality(Qt::NonModal);
    }
    window.show();
    if (modal) {
        modal->setModality(modality);
        if (modal->isVisible())
            QGuiApplicationPrivate::showModalWindow(modal);
    }
    window.setAttribute(Qt::WA_ShowWithoutActivating, always);
    if (QWindow* handle = window.windowHandle())
        handle->setProperty(withoutActivating, always ? QVariant(true) : QVariant());
}

void Window::handKeyboardBack(QWidget* owner)
{
    if (!owner || !owner->isVisible() || anotherProgramHasKeyboard() || !sendKeyboardTo(*owner))
        return;
    actedIn = owner;
    actedSinceAsk = true;
}

void Window::noteActedIn()
{
    // A popover belongs to the window beside it: what it opens, that window opened.
    if (isPopover(this))
        return;
    watchFocus();
    actedIn = this;
    actedSinceAsk = true;
}

void Window::noteOpener()
{
    QWidget* from = speakersWindow();
    if (from && from != this && from->isVisible() && !isPopover(from))
        opener_ = from;
}

void Window::setVisible(bool visible)
{
    // Asked while the window still stands: once it is unmapped the server has moved the keyboard.
    const bool handsBack = !visible && isVisible() && opener_ && opener_ != this && keyboardDestination() == this;
    QWidget::setVisible(visible);
    if (!handsBack)
        return;
    // Queued: when every window goes at once its opener goes too, and then
    // there is nothing to hand back to.
    const unsigned asks = keyboardAsks;
    QMetaObject::invokeMethod(
        qApp,
        [back = opener_, self = QPointer<Window>(this), asks] {
            if (back && back->isVisible() && !(self && self->isVisible()) && asks == keyboardAsks
                && !QApplication::activeModalWidget())
                sendKeyboardTo(*back);
        },
        Qt::QueuedConnection);
}

} // namespace quorvia::platform
