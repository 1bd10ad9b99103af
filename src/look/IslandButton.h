#pragma once

#include "look/DarkColours.h"

#include <QPushButton>

#include <optional>

namespace quorvia {

// The button of every private panel: a click acts at once, even on a panel
// that is not the active window.
class IslandButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    bool acceptsFirstMouse() const { return true; }

    // The button's face colour; none gives the surrounding appearance's.
    void setBezelColor(std::optional<QColor> color)
    {
        if (color == bezelColor_)
            return;
        bezelColor_ = color;
        // Only the face is set, so every other role still follows the parent.
        QPalette p;
        if (color)
            dark_colours::setButtonFace(p, *color);
        setPalette(p);
    }
    std::optional<QColor> bezelColor() const { return bezelColor_; }

private:
    std::optional<QColor> bezelColor_;
};

} // namespace quorvia
