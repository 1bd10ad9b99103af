#include "platform/linux/application/QtStatusIcon.h"

#include "platform/application/ApplicationIcon.h"
#include "platform/application/MenuItems.h"
#include "platform/application/StatusIconWindow.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <optional>

namespace quorvia::platform::native {

namespace {

bool heldByApplicationModal()
{
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->windowModality() == Qt::ApplicationModal)
            return true;
    return false;
}

struct Press {
    xcb_window_t window;
    std::uint32_t button;
};

// A press of a mouse button as the server sent it: Qt asks for the input
// extension's where the server has it, and for the core ones otherwise.
std::optional<Press> pressOf(const xcb_generic_event_t& event)
{
    const int type = event.response_type & ~0x80;
    if (type == XCB_BUTTON_PRESS) {
        const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
        return Press{press.event, press.detail};
    }
    if (type != XCB_GE_GENERIC)
        return std::nullopt;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    const xcb_query_extension_reply_t* input = x11 ? xcb_get_extension_data(x11->connection(), &xcb_input_id) : nullptr;
    if (!input || generic.extension != input->major_opcode || generic.event_type != XCB_INPUT_BUTTON_PRESS)
        return std::nullopt;
    // Both fields lie within the event's first 32 bytes, which Qt never moves.
    const auto& press = reinterpret_cast<const xcb_input_button_press_event_t&>(event);
    return Press{press.event, press.detail};
}

} // namespace

QtStatusIcon::QtStatusIcon(const std::vector<MenuItem>& items, std::function<void()> onActivate)
    : onActivate_(std::move(onActivate)), menu_(makeMenu(items)),
      tray_(std::make_unique<QSystemTrayIcon>(applicationIcon()))
{
    tray_->setToolTip(QCoreApplication::applicationName());
    tray_->setContextMenu(menu_.get());
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The right button opens the menu; any other click reopens.
        if (reason != QSystemTrayIcon::Context && onActivate_)
            onActivate_();
    });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

QtStatusIcon::~QtStatusIcon()
{
    // The shell, and the icon with it, may outlive the application object.
    if (auto* application = QCoreApplication::instance())
        application->removeNativeEventFilter(this);
    // The icon lets go of its menu before the menu goes.
    tray_.reset();
}

bool QtStatusIcon::isAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtStatusIcon::show() { tray_->show(); }

bool QtStatusIcon::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto press = pressOf(*static_cast<const xcb_generic_event_t*>(message));
    if (!press || !heldByApplicationModal())
        return false;
    bool onIcon = false;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        onIcon = onIcon || (isStatusIconWindow(*widget) && widget->internalWinId() == press->window);
    if (!onIcon)
        return false;
    // As the icon answers when nothing blocks it, once this event is done with.
    if (press->button == XCB_BUTTON_INDEX_3)
        QMetaObject::invokeMethod(this, [this] { menu_->popup(QCursor::pos()); }, Qt::QueuedConnection);
    else if (press->button == XCB_BUTTON_INDEX_1)
        QMetaObject::invokeMethod(this, [this] {
            if (onActivate_)
                onActivate_();
        }, Qt::QueuedConnection);
    return true;
}

} // namespace quorvia::platform::native
