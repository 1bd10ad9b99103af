#include "support/WindowManager.h"

#include "support/EventWait.h"

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <memory>

namespace quorvia::test {

WindowManager::WindowManager(const QString& display) : display_(display) {}

WindowManager::~WindowManager() { stop(); }

bool WindowManager::start(int timeoutMs)
{
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    bool managing = false;
    // On a loaded machine it now and then ends at once, saying nothing; a second start takes.
    for (int attempt = 0; attempt < 2 && !managing && process_.state() == QProcess::NotRunning; ++attempt) {
        process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        if (!process_.waitForStarted(60000)) {
            failure_ = QStringLiteral("openbox did not start: %1").arg(process_.errorString());
            return false;
        }
        waitUntil([&] { return process_.state() == QProcess::NotRunning || (managing = isManaging()); }, timeoutMs, 50);
    }
    // Holding the screen comes early in its start: a window mapped before it
    // takes in new windows is never managed, and never shows.
    if (managing && managesNewWindows(timeoutMs))
        return true;
    failure_ = QStringLiteral("openbox does not manage the screen or new windows: %1")
                   .arg(QString::fromLocal8Bit(process_.readAll()).right(2000));
    stop();
    return false;
}

void WindowManager::pause(bool paused) const
{
    if (const qint64 pid = process_.processId())
        ::kill(pid_t(pid), paused ? SIGSTOP : SIGCONT);
}

void WindowManager::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    pause(false);
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool WindowManager::managesNewWindows(int timeoutMs) const
{
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    bool managed = false;
    if (!xcb_connection_has_error(c)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, 0, nullptr);
        const char name[] = "WM_STATE";
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr), &std::free);
        // The manager puts its state on every window it takes in; one mapped
        // while it starts is lost to it, so the probe is mapped afresh.
        int polls = 0;
        waitUntil(
            [&] {
                if (polls++ % 10 == 0) {
                    xcb_unmap_window(c, probe);
                    xcb_map_window(c, probe);
                    xcb_flush(c);
                }
                std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> state(
                    xcb_get_property_reply(c, xcb_get_property(c, 0, probe, atom ? atom->atom : 0, XCB_GET_PROPERTY_TYPE_ANY, 0, 2),
                                           nullptr),
                    &std::free);
                return managed = state && state->type != XCB_ATOM_NONE;
            },
            timeoutMs, 20);
        xcb_destroy_window(c, probe);
        xcb_flush(c);
    }
    xcb_disconnect(c);
    return managed;
}

bool WindowManager::isManaging() const
{
    // A manager owns the screen's manager selection. Asked without taking the
    // root's redirect ourselves: held for even a moment, it makes a manager
    // starting then give up, for it finds another one running.
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(c)) {
        const char name[] = "WM_S0";
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr), &std::free);
        std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
            atom ? xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr) : nullptr,
            &std::free);
        owned = owner && owner->owner != XCB_WINDOW_NONE;
    }
    xcb_disconnect(c);
    return owned;
}

} // namespace quorvia::test
