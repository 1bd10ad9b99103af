#pragma once

#include <QString>

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvia::test {

// A private X server (Xvfb, 1920x1080 at 24 bits, no TCP) for tests of the X11
// backends, so they run everywhere, CI included, and never touch the user's
// desktop.
//
// Two ways to use it:
// - Tests whose Qt application must run on X11 (our windows, capture, the
//   application shell) go in tests/<folder>/x11/. They build into
//   <folder>_x11_tests, which runs with QT_QPA_PLATFORM=xcb on
//   XServer::display() (TestMain points DISPLAY there) and one test at a time,
//   as they all share that server's screen.
// - Any test may connect to XServer::display() itself (xcb_connect, xdotool
//   with DISPLAY set). A test that changes the server for others (screen
//   layout, key grabs, drawing on the root window) belongs in an x11/ folder,
//   or starts a server of its own: `XServer server; server.name()`.
class XServer {
public:
    // The shared server of this test run: the one scripts/test started and
    // exported in QUORVIA_TEST_X_DISPLAY, or else one started on first use
    // and stopped when this process exits. ":N"; empty when Xvfb cannot start.
    static QString display();

    // A server of this object's own, stopped when it is destroyed; further
    // arguments of Xvfb, e.g. {"-extension", "MIT-SHM"} for one without it.
    explicit XServer(const std::vector<std::string>& arguments = {});
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N", or empty when Xvfb could not start.
    const QString& name() const { return name_; }

    static inline const char* environmentVariable = "QUORVIA_TEST_X_DISPLAY";

private:
    QString name_;
    pid_t pid_ = 0;
};

} // namespace quorvia::test
