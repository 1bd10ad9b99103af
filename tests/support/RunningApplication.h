#pragma once

#include "support/ApplicationControls.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
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

        bool operator==(const Window& other) const { return id == other.id; }
    };

    // Without a display, on the offscreen platform: no window is drawn anywhere.
    explicit RunningApplication(const QString& display = QString());
    // One still running is ended by SIGTERM, and fails the test unless it ends
    // with status 0; then whatever any launch left running is killed.
    ~RunningApplication();
    RunningApplication(const RunningApplication&) = delete;
    RunningApplication& operator=(const RunningApplication&) = delete;

    // A script the first start turns into its first project.
    void seedScript(const QString& text);
    // The sample talk behind an opening long enough for auto-scroll to move.
    static QString scrollingTalk();
    // What the executable starts with: HOME, TMPDIR, XDG_CONFIG_HOME,
    // XDG_DATA_HOME and XDG_RUNTIME_DIR in the private folders ("home",
    // "tmp", "config", "data", "run"), and a session bus address that fails
    // at once. A test may change it before a start.
    QProcessEnvironment& environment() { return environment_; }
    // A command every launch goes through, given the executable last, e.g.
    // one that holds it at a gate; empty, the executable starts directly.
    QStringList& launcher() { return launcher_; }
    // From now on each launch appends its error stream to a file of the
    // test's, behind the launcher set so far.
    void collectErrors();
    // What the launches said on their error streams since collectErrors().
    QString errorsSaid() const;
    // Starts the executable without waiting for more than the process.
    bool launch();
    // Starts the executable and waits for its first window.
    bool start();
    // Starts it once more in the same folders and environment, as a second
    // launch by the speaker; the caller waits for that one. Its error stream
    // is the test's unless `channels` says otherwise.
    bool launchAnother(QProcess& process, QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel) const;
    // SIGTERM, then waits; true when it quit on its own with status 0.
    bool quit(int timeoutMs = 60000);
    // Until `process` has ended, true too when it had before; within the
    // test's waits (EventWait.h), unlike QProcess::waitForFinished.
    static bool waitUntilEnded(QProcess& process, int timeoutMs = 60000);
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    qint64 pid() const { return process_.processId(); }
    // The first start, for its exit status.
    QProcess& process() { return process_; }
    const QString& display() const { return display_; }
    QString folder() const { return folders_.path(); }

    // Until the instance socket listens, at whichever of its places: start-up is over.
    bool waitUntilListening() const;
    // Until the process handles `signal`; before that, the signal ends it outright.
    bool waitUntilCatching(int signal) const;
    // Until the island draws the privacy output's start button enabled, as
    // after start-up, when the button takes a click.
    bool waitUntilOffersPrivacyOutput(const Window& island) const;

    // The application's viewable top-level windows, by the pid Qt stamps on
    // them; tooltips are none.
    std::vector<Window> windows() const;
    bool shows(const Window& window) const { return std::ranges::count(windows(), window) > 0; }
    // The island, once it stands alone after the start and has had time to settle.
    std::optional<Window> settledIsland() const;
    // Its status icon, shown inside a status area (support/StatusArea.h).
    std::optional<Window> statusIcon() const;
    // Those whose name matches `pattern`.
    std::vector<Window> windows(const QString& pattern) const;
    // The largest viewable window whose name matches `pattern` (any when empty), or
    // that is not in `known`, waiting for one.
    std::optional<Window> waitWindow(const QString& pattern) const;
    std::optional<Window> waitNewWindow(const std::vector<Window>& known) const;

    // Clicks at a point inside a window (window coordinates), then lets events settle.
    // Controls are named in support/ApplicationControls.h.
    void click(const Window& window, QPoint control, int settleMs = 600) const;
    void click(const Window& window, int x, int y, int settleMs = 600) const;
    void clickAt(QPoint rootPoint, int settleMs = 600) const;
    // Presses keys one after the other, e.g. "Right Right ctrl+q".
    void key(const QString& keys, int settleMs = 300) const;
    // Gives the window the keyboard, asking again until it has it: a window
    // just shown may not take it yet. False when it never did.
    bool focus(const Window& window, int timeoutMs = 60000) const;
    // Whether the window has the keyboard, as the server tells.
    bool hasKeyboard(const Window& window) const;
    // How many top-level windows stand on the screen that hold none of ours: a window manager's menu, say.
    int shownTopLevelsOfOthers() const;
    // The window it stands for (its WM_TRANSIENT_FOR), 0 when none.
    std::uint32_t transientFor(const Window& window) const;
    // Whether the window's _NET_WM_STATE names the state, as a window manager reads it.
    bool hasState(const Window& window, const char* state) const;
    // Types text as keystrokes into the window that has the keyboard.
    void type(const QString& text) const;
    void pressEmergencyKey() const;
    // Opens "灵动岛设置" from the island (by its gear, where a resize moved it) and presses one of its
    // controls; answers the settings window.
    std::optional<Window> pressIslandSetting(const Window& island, QPoint control, QPoint gear = controls::island::gear) const;
    // From the island, imports an empty .key file through the chooser: with no
    // Keynote here the import fails at once and says so in an alert, which
    // this answers.
    std::optional<Window> failKeynoteImport(const Window& island) const;
    void moveWindow(const Window& window, QPoint topLeft) const;
    // Moves a window to each point in turn under one grab of the server: whoever watches hears of the
    // first moves only once it stands at the last.
    void moveWindowAtOnce(const Window& window, const std::vector<QPoint>& topLefts) const;
    // Moves a window `count` times by `step`, `intervalMs` apart, as a drag does.
    void moveWindowInSteps(const Window& window, QPoint step, int count, int intervalMs) const;
    // Puts the pointer at a point of the root window.
    void movePointer(QPoint rootPoint) const;
    // Presses the first button at `from`, moves to `to` in `steps` steps
    // `intervalMs` apart and lets go there, as a hand drags; `holding` a key
    // throughout ("alt"), when named.
    void drag(QPoint from, QPoint to, int steps = 10, int intervalMs = 30, const QString& holding = {}) const;
    // The same drag in parts, for what happens while the button is held: pressed at `at`,
    // moved from `from` to `to` as drag() moves, and let go wherever the pointer then is.
    void press(QPoint at, const QString& holding = {}) const;
    void moveHeld(QPoint from, QPoint to, int steps = 10, int intervalMs = 30) const;
    void release(const QString& holding = {}) const;
    // From now on notes whether `window` is taken off the screen, however briefly: wasHidden says so once.
    void noteHides(const Window& window) const;
    bool wasHidden(const Window& window) const;

    // The picture the server shows in `area` (root coordinates), read back.
    QImage grab(const QRect& area) const;
    // What a window draws now, read from the window itself.
    QImage windowImage(const Window& window) const;

    // Runs a command-line tool on the display; true when it exits 0.
    bool tool(const QString& program, const QStringList& arguments, QString* output = nullptr) const;

private:
    void startExecutable(QProcess& process) const;
    // Stamped with this process's pid, as Qt stamps each of its windows.
    bool isOurs(std::uint32_t window) const;
    // Kills every process still carrying this object's launch mark: whatever
    // the program left, also what left its process group or its parent.
    void endLeftovers() const;

    QString display_;
    QTemporaryDir folders_;
    QString executable_;
    QProcessEnvironment environment_;
    QStringList launcher_;
    QProcess process_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t pidAtom_ = 0;
    std::uint32_t nameAtom_ = 0;
    std::uint32_t utf8Atom_ = 0;
    std::uint32_t typeAtom_ = 0;
    std::uint32_t tooltipAtom_ = 0;
    // Each launch's environment carries it, so every descendant can be told.
    QString launchMark_;
};

} // namespace quorvia::test
