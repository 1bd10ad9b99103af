#pragma once

#include "platform/desktop/Panel.h"

namespace quorvia {

// The island's compact trigger panel. It never takes key or main status, and
// the private window registry lets it sit in the menu-bar strip by clamping it
// to the built-in screen's full frame.
class IslandTriggerPanel : public platform::Panel {
    Q_OBJECT
public:
    using platform::Panel::Panel;

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }
};

} // namespace quorvia
