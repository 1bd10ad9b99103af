#include "support/WindowManager.h"

#include "support/EventWait.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace quorvia::test {

WindowManager::WindowManager(const QString& display) : display_(display) {}

WindowManager::~WindowManager() { stop(); }

bool WindowManager::start(int timeoutMs)
{
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!process_.waitForStarted(60000)) {
        failure_ = QStringLiteral("openbox did not start: %1").arg(process_.errorString());
        return false;
    }
    bool managing = false;
    waitUntil([&] { return process_.state() == QProcess::NotRunning || (managing = isManaging()); }, timeoutMs, 50);
    if (managing)
        return true;
    failure_ = QStringLiteral("openbox does not manage the screen: %1")
                   .arg(QString::fromLocal8Bit(process_.readAll()).right(2000));
    stop();
    return false;
}

void WindowManager::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool WindowManager::isManaging() const
{
    // Only one client may redirect the root's children: the manager, once it runs.
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    bool held = false;
    if (!xcb_connection_has_error(c)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask));
        held = error != nullptr;
        std::free(error);
    }
    xcb_disconnect(c);
    return held;
}

} // namespace quorvia::test
