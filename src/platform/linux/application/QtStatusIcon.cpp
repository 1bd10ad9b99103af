#include "platform/linux/application/QtStatusIcon.h"

#include "platform/application/ApplicationIcon.h"
#include "platform/application/MenuItems.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace quorvia::platform::native {

QtStatusIcon::QtStatusIcon(const std::vector<MenuItem>& items, std::function<void()> onActivate)
    : menu_(makeMenu(items)), tray_(std::make_unique<QSystemTrayIcon>(applicationIcon()))
{
    tray_->setToolTip(QCoreApplication::applicationName());
    tray_->setContextMenu(menu_.get());
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [onActivate = std::move(onActivate)](QSystemTrayIcon::ActivationReason reason) {
                // The right button opens the menu; any other click reopens.
                if (reason != QSystemTrayIcon::Context && onActivate)
                    onActivate();
            });
}

QtStatusIcon::~QtStatusIcon()
{
    // The icon lets go of its menu before the menu goes.
    tray_.reset();
}

bool QtStatusIcon::isAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtStatusIcon::show() { tray_->show(); }

} // namespace quorvia::platform::native
