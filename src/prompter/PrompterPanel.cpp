#include "prompter/PrompterPanel.h"

#include <QCloseEvent>

namespace quorvia {

void PrompterPanel::closeEvent(QCloseEvent* event)
{
    if (onShouldClose && !onShouldClose()) {
        event->ignore();
        return;
    }
    platform::Panel::closeEvent(event);
}

} // namespace quorvia
