#pragma once

#include <QProcess>
#include <QString>

namespace quorvia::test {

// A stacking window manager (openbox) on a test X server, for as long as this
// object lives: windows get frames of its own, and moves and resizes of them
// go through it, as on a desktop.
class WindowManager {
public:
    explicit WindowManager(const QString& display);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // Starts it and waits until it manages the screen.
    bool start(int timeoutMs = 60000);
    void stop();
    // Stopped, it takes no request until it goes on, as when busy.
    void pause(bool paused) const;
    // Why it did not start, for the failure message.
    QString failure() const { return failure_; }

private:
    bool isManaging() const;
    // Maps a window of its own and waits until the manager has taken it in.
    bool managesNewWindows(int timeoutMs) const;

    QString display_;
    QProcess process_;
    QString failure_;
};

} // namespace quorvia::test
