#pragma once

#include "platform/desktop/WindowSystem.h"

#include <map>
#include <memory>

class QWidget;

namespace quorvia::platform::native {

class X11CompositingWatch;
class X11FrameGuard;

// The X11 window manager's hints and the screen's compositing manager, as the
// platform's window system. Outside an X11 session it hints nothing and
// nothing composites.
class X11WindowSystem final : public WindowSystem {
public:
    // Reports each start or stop of a compositing manager from here on.
    X11WindowSystem();
    ~X11WindowSystem() override;

    void setOnAllDesktops(QWidget& window, bool sticky) override;
    bool windowsAreComposited() override;
    std::optional<QPoint> innerOrigin(const QWidget& window) override;
    std::optional<KeyboardFocus> keyboardFocus() override;
    void markModal(QWidget& window) override;
    bool stopManagersDrag(QWidget& window) override;
    void keepInside(QWidget& window, const std::optional<KeptArea>& area, FrameRule rule) override;
    void asking(QWidget& window, const QRect& outer) override;

private:
    std::unique_ptr<X11CompositingWatch> watch_;
    std::shared_ptr<X11FrameGuard> guard_;
    bool triedGuard_ = false;
    // The X window each guarded widget had when last told: Qt may make it anew.
    std::map<const QWidget*, std::uint32_t> guarded_;
};

} // namespace quorvia::platform::native
