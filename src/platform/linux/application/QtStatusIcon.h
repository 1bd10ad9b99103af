#pragma once

#include "platform/application/ApplicationShell.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace quorvia::platform::native {

// The application's icon in the desktop's status area: a click asks for a
// reopen, as a second launch does, and its menu holds the main menu's items.
// Both work while an alert holds every other window of ours: the icon is the
// way back to the island.
class QtStatusIcon : public QObject, private QAbstractNativeEventFilter {
    Q_OBJECT
public:
    QtStatusIcon(const std::vector<MenuItem>& items, std::function<void()> onActivate);
    ~QtStatusIcon() override;

    // Whether the desktop has a status area to show it in.
    static bool isAvailable();

    void show();
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }
    QMenu* menu() const { return menu_.get(); }

private:
    // Qt hands no input to a window an application-modal one blocks: the
    // icon's own presses are taken from the server's events before Qt drops them.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    std::function<void()> onActivate_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
};

} // namespace quorvia::platform::native
