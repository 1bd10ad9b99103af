#pragma once

#include "platform/desktop/Window.h"

namespace quorvia::platform {

// A window for auxiliary surfaces. Panels show as tool windows; a
// non-activating panel never takes focus from the active application.
class Panel : public Window {
    Q_OBJECT
public:
    explicit Panel(const Rect& frame = {}, WindowStyle style = WindowStyle::titled | WindowStyle::closable
                                                              | WindowStyle::resizable | WindowStyle::utilityWindow);

    bool isPanel() const override { return true; }

    bool isFloatingPanel() const { return floating_; }
    // A floating panel sits at the floating level.
    void setFloatingPanel(bool floating);

    bool hidesOnDeactivate() const { return hidesOnDeactivate_; }
    void setHidesOnDeactivate(bool hides);

    bool becomesKeyOnlyIfNeeded() const { return keyOnlyIfNeeded_; }
    void setBecomesKeyOnlyIfNeeded(bool value) { keyOnlyIfNeeded_ = value; }

private:
    void applicationStateChanged(Qt::ApplicationState state);

    bool floating_ = false;
    bool hidesOnDeactivate_ = false;
    bool keyOnlyIfNeeded_ = false;
    bool hiddenByDeactivation_ = false;
};

} // namespace quorvia::platform
