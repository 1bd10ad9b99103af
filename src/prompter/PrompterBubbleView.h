#pragma once

#include "prompter/PrompterBubbleTracker.h"

#include "platform/core/Geometry.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace quorvia {

// The collapsed prompter: a 56-point plum circle with a pink ring and an
// expand symbol. A click asks to expand; a drag asks to move the bubble's window.
class PrompterBubbleView : public QWidget {
    Q_OBJECT
public:
    explicit PrompterBubbleView(QWidget* parent = nullptr);

    // The first press acts at once, even when the panel is not active.
    bool acceptsFirstMouse() const { return true; }

    std::function<void()> onActivate;
    // The origin, in the global y-up space, the bubble's window should take.
    std::function<void(platform::Point)> onDrag;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* iconView_;
    std::optional<PrompterBubbleTracker> tracker_;
};

} // namespace quorvia
