#pragma once

#include "platform/desktop/Window.h"

class QLabel;
class QPushButton;

namespace quorvia::platform::native {

// Says why a launch may not run, where the speaker looks rather than only on
// the error stream. Like every window of ours it is left out of capture from
// its first show, and it shows only on the speaker's own screen.
class RefusalPanel : public Window {
    Q_OBJECT
public:
    explicit RefusalPanel(const QString& reason);

    // Shows the panel and returns once it is answered or closed; at once
    // when there is no screen of the speaker's to show it on.
    void run();

    QLabel* reasonLabel() const { return reason_; }
    QPushButton* button() const { return button_; }

private:
    QLabel* reason_;
    QPushButton* button_;
};

} // namespace quorvia::platform::native
