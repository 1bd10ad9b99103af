#pragma once

#include "platform/ApplicationShell.h"

#include <QObject>

#include <map>

class QLocalServer;

namespace quorvia::platform::native {

// The Qt application as the shell: key presses are seen once per window
// before any widget gets them, the menu's shortcuts answer anywhere in the
// application, and a local socket in the temporary folder lets a second
// launch hand a reopen to the running instance.
class LinuxApplicationShell final : public QObject, public ApplicationShell {
    Q_OBJECT
public:
    explicit LinuxApplicationShell(QString serverName = defaultServerName());
    ~LinuxApplicationShell() override;

    static QString defaultServerName();

    // Becomes the running instance; false after handing a reopen to the one
    // already running, and the caller then exits.
    bool claimPrimaryInstance();

    void terminate() override;
    void replyToTermination(bool shouldTerminate) override;
    void activateIgnoringOtherApps() override;
    void setMainMenu(std::vector<MenuItem> items) override;
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

    QString serverName_;
    QLocalServer* server_ = nullptr;
    std::vector<MenuItem> menu_;
    std::map<MonitorID, std::function<bool(const KeyPress&)>> monitors_;
    MonitorID nextMonitor_ = 1;
    bool awaitingReply_ = false;
};

} // namespace quorvia::platform::native
