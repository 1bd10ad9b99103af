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
// application, a lock in the settings folder makes one launch the store's only
// writer, and a local socket in a folder only this user can enter lets a
// second launch hand a reopen to the running instance.
class LinuxApplicationShell final : public QObject, public ApplicationShell {
    Q_OBJECT
public:
    explicit LinuxApplicationShell(QString serverName = defaultServerName(), QString lockPath = defaultLockPath());
    ~LinuxApplicationShell() override;

    // The socket's path: in the session's runtime folder, else in a folder of
    // ours in the temporary folder, else in the config folder; each is used
    // only when it is this user's alone. Empty when none is.
    static QString defaultServerName();
    // In the settings folder, beside the store it guards, whatever the socket finds.
    static QString defaultLockPath();

    // A message longer than this, or one not finished within the time, ends its connection.
    static constexpr qint64 maximumMessageBytes = 4096;
    static constexpr int messageTimeoutMs = 1000;
    static constexpr int maximumConnections = 8;
    // How long a second launch keeps trying to reach the running instance.
    static constexpr int handOverPatienceMs = 10000;

    enum class Claim {
        primary,    // this launch runs, the store's only writer
        handedOver, // another instance runs and was handed a reopen
        refused,    // this launch may not run; the reason is on the error stream
    };
    // Becomes the running instance, holding the lock until the process ends.
    // A launch that cannot hold it never runs: it hands a reopen to the
    // instance that does, or says why it cannot start. Without a socket the
    // holder still runs, and says a later launch cannot hand it a reopen.
    Claim claimPrimaryInstance();

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
    // False when the running instance never answered.
    bool handOverReopen();

    QString serverName_;
    QString lockPath_;
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
