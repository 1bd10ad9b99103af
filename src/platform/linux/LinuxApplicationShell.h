#pragma once

#include "platform/ApplicationShell.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>

class QLocalServer;

namespace quorvia::platform::native {
class AboutPanel;
class QtStatusIcon;
}

namespace quorvia::platform::native {

// The Qt application as the shell: key presses are seen once per window
// before any widget gets them, the menu's shortcuts answer anywhere in the
// application, and a local socket in a folder only this user can enter lets
// a second launch hand a reopen to the running instance.
class LinuxApplicationShell final : public QObject, public ApplicationShell {
    Q_OBJECT
public:
    explicit LinuxApplicationShell(QString serverName = defaultServerName());
    ~LinuxApplicationShell() override;

    // The socket's path: in the session's runtime folder, else in a folder of
    // ours in the temporary folder, else in the config folder; each is used
    // only when it is this user's alone. Empty when none is.
    static QString defaultServerName();

    // A message longer than this, or one not finished within the time, ends its connection.
    static constexpr qint64 maximumMessageBytes = 4096;
    static constexpr int messageTimeoutMs = 1000;
    static constexpr int maximumConnections = 8;
    // How long a second launch keeps trying to reach the running instance.
    static constexpr int handOverPatienceMs = 10000;

    // Becomes the running instance, holding a lock beside the socket until it
    // ends; false when another instance holds it, after handing it a reopen
    // (or, when it never answers, saying so), and the caller then exits. When
    // neither lock nor socket can be set up the instance runs alone and says so
    // on the error stream.
    bool claimPrimaryInstance();

    // Whether the desktop has a status area for the icon; tests stand in for one.
    std::function<bool()> hasStatusArea;
    QtStatusIcon* statusIcon() const { return statusIcon_.get(); }
    AboutPanel* aboutPanel() const { return aboutPanel_.get(); }

    void terminate() override;
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
    void acceptConnection();
    void handOverReopen();

    QString serverName_;
    QLocalServer* server_ = nullptr;
    int lockFd_ = -1;
    int connections_ = 0;
    std::vector<MenuItem> menu_;
    // Only where the desktop has a status area.
    std::unique_ptr<QtStatusIcon> statusIcon_;
    std::unique_ptr<AboutPanel> aboutPanel_;
    std::map<MonitorID, std::function<bool(const KeyPress&)>> monitors_;
    MonitorID nextMonitor_ = 1;
    bool awaitingReply_ = false;
};

} // namespace quorvia::platform::native
