#pragma once

#include "platform/desktop/Window.h"

class QLabel;

namespace quorvia::platform::native {

// The standard About panel: the application's icon, name and version. Like
// every window of ours it is left out of capture from its first show, and it
// shows only on the speaker's own screen.
class AboutPanel : public Window {
    Q_OBJECT
public:
    AboutPanel();

    // Brings the panel front centred on the built-in screen; without one it stays hidden.
    void present();

    QLabel* nameLabel() const { return name_; }
    QLabel* versionLabel() const { return version_; }
    QLabel* iconLabel() const { return icon_; }

protected:
    // Escape closes it, as it does every other panel of its kind.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* icon_;
    QLabel* name_;
    QLabel* version_;
};

} // namespace quorvia::platform::native
