#pragma once

#include "island/IslandWindowGeometry.h"
#include "platform/desktop/Panel.h"

namespace quorvia {

// The island's own panel: takes the keyboard when asked, never becomes main.
class IslandWindow : public platform::Panel {
    Q_OBJECT
public:
    using platform::Panel::Panel;

    bool canBecomeKey() const override { return true; }
    bool canBecomeMain() const override { return false; }

    // Binds only resizing by the handles; the island may be placed smaller.
    platform::Size contentMinSize() const { return contentMinSize_; }
    void setContentMinSize(platform::Size size) { contentMinSize_ = size; }

private:
    platform::Size contentMinSize_;
};

} // namespace quorvia
