#include "platform/application/StatusIconWindow.h"

#include <QWidget>

namespace quorvia::platform {

bool isStatusIconWindow(const QWidget& widget)
{
    // Qt's own class for the embedded icon on X11; it has no public name.
    return widget.inherits("QSystemTrayIconSys");
}

} // namespace quorvia::platform
