#include "platform/application/MenuItems.h"

#include <QAction>
#include <QMenu>

namespace quorvia::platform {

QMenu* makeMenu(const std::vector<MenuItem>& items, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    for (const MenuItem& item : items) {
        if (item.isSeparator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(item.title);
        // The shell answers the shortcut wherever the keyboard is; here it is only shown.
        action->setShortcut(item.shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        QObject::connect(action, &QAction::triggered, menu, [run = item.action] {
            if (run)
                run();
        });
    }
    return menu;
}

} // namespace quorvia::platform
