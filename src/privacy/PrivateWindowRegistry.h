#pragma once

#include "platform/core/Geometry.h"
#include "platform/core/NotificationCenter.h"
#include "platform/desktop/Window.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia {

// Knows which windows are private to the speaker: keeps them out of capture
// and on the built-in screen, hides them on demand while remembering which
// were showing, and brings exactly those back. Windows are held weakly.
class PrivateWindowRegistry {
public:
    PrivateWindowRegistry();
    ~PrivateWindowRegistry();
    PrivateWindowRegistry(const PrivateWindowRegistry&) = delete;
    PrivateWindowRegistry& operator=(const PrivateWindowRegistry&) = delete;

    void registerWindow(platform::Window* window);
    // Ends a running show or hide animation in its final form without showing
    // anything, and answers the windows that form shows. Every hide runs these
    // first, so what a restore brings back is finished, never half-way.
    using TransitionSettler = std::function<std::vector<platform::Window*>()>;
    void addTransitionSettler(TransitionSettler settler);
    // Counts a hidden registered window as showing for the next restore.
    void rememberAsVisible(platform::Window* window);
    // A hidden window whose content has gone elsewhere: the next restore leaves it out.
    void forgetVisibility(platform::Window* window);
    // App sharing: registered windows become capturable read-only.
    void setSharingEnabled(bool enabled);

    // Orders out every window of the application, registered or not, but not
    // the status icon, which stands in the desktop's status area; the
    // dialogs that were showing (choosers, alerts, sheets) come back with the
    // next restore. A restore without a built-in screen shows
    // nothing and keeps what it would have shown for a later one.
    void hideAllAppOwnedWindows(const std::vector<platform::Window*>& except = {}, bool preservingVisibility = true);
    void hideAll(platform::Window* except = nullptr, bool preservingVisibility = true);
    void restorePreviouslyVisible(platform::Window* except = nullptr);
    void restore(platform::Window* window);
    void discardRestorationSnapshot();
    // Each registered window first reads where it stands; shown dialogs are
    // kept on the built-in screen as well. Windows a clamp ordered out for want
    // of a screen, which no hide has taken over since, come back first.
    void clampAllToBuiltInScreen();
    // Alerts and choosers, shown or held for the next restore, go back to the
    // middle of the built-in screen, but those `keepsItsPlace` names.
    void centreDialogsOnBuiltInScreen(const std::function<bool(const QWidget*)>& keepsItsPlace = nullptr);

    // Where a registered window must stay and where its place may lie; none without a built-in screen.
    static std::optional<platform::Window::Bounds> boundsOf(const platform::Window& window);

    bool containsVisiblePrivateWindow(platform::Point point) const;
    bool visibleWindowsAreOnBuiltInScreen() const;

    // The window a restore hands the keyboard to when the one of ours that
    // had it at the hide is no longer shown.
    void setKeyboardHome(platform::Window* window) { keyboardHome_ = window; }

    // Runs once a restore has brought the hidden windows back.
    std::function<void()> onRestored;

    bool hasRestorationSnapshot() const { return hasRestorationSnapshot_; }
    std::vector<platform::Window*> registeredWindows() const;
    // What the next restore brings back.
    std::vector<platform::Window*> windowsToRestore() const;

private:
    struct BoundaryWatch {
        QPointer<platform::Window> window;
        platform::Observation moved;
        platform::Observation resized;
    };

    // False when the window had to be ordered out for want of a built-in screen.
    // `former`: where a move or resize told now began; a resize from inside
    // the bounds stops growing at their edge rather than moving.
    bool clamp(platform::Window& window, const std::optional<platform::Rect>& former = std::nullopt);

    void takeSnapshot(const std::vector<platform::Window*>& except);
    std::vector<platform::Window*> settleTransitions();
    void returnKeyboard();
    void returnWindowsOutForWantOfScreen();
    void forgetWindowsOutForWantOfScreen();

    std::vector<QPointer<platform::Window>> windows_;
    std::vector<QPointer<platform::Window>> previouslyVisible_;
    std::vector<QPointer<QWidget>> previouslyVisibleWidgets_;
    std::vector<TransitionSettler> settlers_;
    bool hasRestorationSnapshot_ = false;
    // Whether a window of ours had the keyboard when the windows went, and which.
    bool keyboardWasOurs_ = false;
    QPointer<QWidget> keyboardHolder_;
    QPointer<platform::Window> keyboardHome_;
    bool sharingEnabled_ = false;
    std::vector<BoundaryWatch> boundaryObservers_;
    // Ordered out by a clamp for want of a built-in screen, before any hide.
    std::vector<QPointer<platform::Window>> outForWantOfScreen_;
    // The snapshot held is the one such a clamp took, not a hide's.
    bool clampTookSnapshot_ = false;
    // Keeps each alert and chooser inside the built-in screen from its first show.
    std::unique_ptr<QObject> dialogWatch_;
};

} // namespace quorvia
