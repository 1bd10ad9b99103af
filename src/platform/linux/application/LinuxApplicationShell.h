#pragma once

#include "platform/application/ApplicationShell.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>

namespace quorvia::platform::native {
class AboutPanel;
class QtStatusIcon;
}

namespace quorvia::platform::native {

// The Qt application as the shell: key presses are seen once per window
// before any widget gets them, and the menu's shortcuts answer anywhere in the
// application. Which launch runs is the SingleInstanceGuard's to decide.
class LinuxApplicationShell final : public QObject, public ApplicationShell {
    Q_OBJECT
public:
    LinuxApplicationShell();
    ~LinuxApplicationShell() override;

    // Whether Qt draws on no screen at all (the offscreen platform): there no
    // window can be answered, so none may hold a launch or a quit.
    static bool drawsNowhere();
    // Nothing this process was handed, nor anything it opens, passes on to
    // the programs it starts: those get their standard streams only. Before
    // anything else runs, so no descriptor is opened without the mark.
    static void markInheritedDescriptorsCloseOnExec();
    // SIGTERM and SIGINT from now on ask to quit as a request from outside,
    // taken on the event loop, never mid-turn. Once per process.
    void quitOnTerminationSignals();

    // Whether the desktop has a status area for the icon; tests stand in for one.
    std::function<bool()> hasStatusArea;
    QtStatusIcon* statusIcon() const { return statusIcon_.get(); }
    // From a quit's request until the process ends, unless it is called off.
    bool isQuitting() const { return awaitingReply_ || exiting_; }
    AboutPanel* aboutPanel() const { return aboutPanel_.get(); }

    void terminate(QuitRequest request) override;
    void replyToTermination(bool shouldTerminate) override;
    void activateIgnoringOtherApps() override;
    void setMainMenu(std::vector<MenuItem> items) override;
    std::vector<MenuItem> mainMenu() const override { return menu_; }
    Window* standardAboutPanel() override;
    void orderFrontStandardAboutPanel() override;
    MonitorID addLocalKeyMonitor(std::function<bool(const KeyPress&)> handler) override;
    void removeLocalKeyMonitor(MonitorID id) override;
    QWidget* keyWindow() const override;
    bool hasModalWindow() const override;
    bool focusIsInTextInput() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void exit();

    std::vector<MenuItem> menu_;
    // Only where the desktop has a status area.
    std::unique_ptr<QtStatusIcon> statusIcon_;
    std::unique_ptr<AboutPanel> aboutPanel_;
    std::map<MonitorID, std::function<bool(const KeyPress&)>> monitors_;
    MonitorID nextMonitor_ = 1;
    bool awaitingReply_ = false;
    bool exiting_ = false;
};

} // namespace quorvia::platform::native
