#pragma once

#include <QPushButton>

namespace quorvia {

// The button of every private panel: a click acts at once, even on a panel
// that is not the active window.
class IslandButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    bool acceptsFirstMouse() const { return true; }
};

} // namespace quorvia
