#pragma once

#include <QKeySequence>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QWidget;

namespace quorvia::platform {

class Window;

enum class TerminateReply { now, later };

// Who asked to quit. The speaker asks in a window (the menu, the status icon,
// Control+Q) and is there to read an alert; a signal or the session ending
// asks from outside and waits for no one, nor does a quit where no window is
// drawn anywhere.
enum class QuitRequest { speaker, unattended };

// A key press as the local key monitor sees it. Command is Super (Meta in
// Qt's terms), Option is Alt.
struct KeyPress {
    enum class Key { left, right, other };
    Key key = Key::other;
    bool command = false;
    bool control = false;
    bool option = false;
    bool shift = false;
};

struct MenuItem {
    QString title;
    QKeySequence shortcut;
    std::function<void()> action;
    bool isSeparator = false;
};

// The running application: quitting always goes through shouldTerminate,
// which may defer the quit until replyToTermination; a second launch asks the
// running one to reopen. Main thread only.
class ApplicationShell {
public:
    using MonitorID = std::uint64_t;

    virtual ~ApplicationShell() = default;

    // The delegate's steps, set once by the entry point.
    std::function<TerminateReply(QuitRequest)> shouldTerminate;
    std::function<void()> onReopen;

    // A quit request from the menu, the keyboard, a signal or the session.
    virtual void terminate(QuitRequest request) = 0;
    // Ends a deferred quit: true quits, false keeps running.
    virtual void replyToTermination(bool shouldTerminate) = 0;
    virtual void activateIgnoringOtherApps() = 0;
    // The main menu also shows in the status icon's menu and the island's.
    virtual void setMainMenu(std::vector<MenuItem> items) = 0;
    virtual std::vector<MenuItem> mainMenu() const = 0;
    // The About panel, made hidden on first ask so its owner can keep it with
    // the private windows before it ever shows; null where there is none.
    virtual Window* standardAboutPanel() = 0;
    virtual void orderFrontStandardAboutPanel() = 0;

    // Key presses meant for any window of the application; the handler
    // answers true to use the key up.
    virtual MonitorID addLocalKeyMonitor(std::function<bool(const KeyPress&)> handler) = 0;
    virtual void removeLocalKeyMonitor(MonitorID id) = 0;

    // The window that has the keyboard, or null.
    virtual QWidget* keyWindow() const = 0;
    virtual bool hasModalWindow() const = 0;
    // Whether a text field or text view of the key window has the keyboard.
    virtual bool focusIsInTextInput() const = 0;
};

} // namespace quorvia::platform
