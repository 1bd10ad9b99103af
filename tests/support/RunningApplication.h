#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace quorvia::test {

// The real executable on a test X server, with private folders for its
// settings, documents, runtime files and instance socket, driven the way a
// person would: xdotool for the pointer and keys, the server itself for what
// is on screen.
class RunningApplication {
public:
    struct Window {
        std::uint32_t id = 0;
        QRect frame; // root coordinates
        QString name;
        // The root's child that holds it: a window manager's frame, or the
        // window itself when none manages it.
        QRect outer;
    };

    explicit RunningApplication(const QString& display);
    ~RunningApplication();
    RunningApplication(const RunningApplication&) = delete;
    RunningApplication& operator=(const RunningApplication&) = delete;

    // A script the first start turns into its first project.
    void seedScript(const QString& text);
    // The sample talk behind an opening long enough for auto-scroll to move.
    static QString scrollingTalk();
    // Starts the executable and waits for its first window.
    bool start(int timeoutMs = 60000);
    // SIGTERM, then waits; true when it quit on its own with status 0.
    bool quit(int timeoutMs = 60000);
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    qint64 pid() const { return process_.processId(); }
    const QString& display() const { return display_; }
    QString folder() const { return folders_.path(); }

    // The application's viewable top-level windows, by the pid Qt stamps on them.
    std::vector<Window> windows() const;
    // The largest viewable window whose name matches `pattern` (any when empty), or
    // that is not in `known`, waiting up to `timeoutMs`.
    std::optional<Window> waitWindow(const QString& pattern, int timeoutMs = 60000) const;
    std::optional<Window> waitNewWindow(const std::vector<Window>& known, int timeoutMs = 60000) const;

    // Clicks at a point inside a window (window coordinates), then lets events settle.
    void click(const Window& window, int x, int y, int settleMs = 600) const;
    void clickAt(QPoint rootPoint, int settleMs = 600) const;
    void key(const QString& keys, int settleMs = 300) const;
    void moveWindow(const Window& window, QPoint topLeft) const;
    // Moves a window `count` times by `step`, `intervalMs` apart, as a drag does.
    void moveWindowInSteps(const Window& window, QPoint step, int count, int intervalMs) const;
    // Puts the pointer at a point of the root window.
    void movePointer(QPoint rootPoint) const;

    // The picture the server shows in `area` (root coordinates), read back.
    QImage grab(const QRect& area) const;

    // Polls `condition` (with Qt events of this process handled) until true or timeout.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 60000);
    // Runs a command-line tool on the display; true when it exits 0.
    bool tool(const QString& program, const QStringList& arguments, QString* output = nullptr) const;

private:
    QString display_;
    QTemporaryDir folders_;
    QString executable_;
    QProcess process_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t pidAtom_ = 0;
    std::uint32_t nameAtom_ = 0;
    std::uint32_t utf8Atom_ = 0;
};

} // namespace quorvia::test
