#pragma once

#include "platform/desktop/Panel.h"

#include <functional>

namespace quorvia {

// The prompter window: it may take the keyboard but never becomes main, and
// its close button only asks its owner.
class PrompterPanel : public platform::Panel {
    Q_OBJECT
public:
    using platform::Panel::Panel;

    bool canBecomeKey() const override { return true; }
    bool canBecomeMain() const override { return false; }

    // Answers whether the window may close; without it, it closes.
    std::function<bool()> onShouldClose;

protected:
    void closeEvent(QCloseEvent* event) override;
};

// The panel of the collapsed bubble: never key, never main.
class PrompterBubblePanel : public platform::Panel {
    Q_OBJECT
public:
    using platform::Panel::Panel;

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }
};

} // namespace quorvia
