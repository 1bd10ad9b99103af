#include "support/StatusArea.h"

#include "support/EventWait.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace quorvia::test {

StatusArea::StatusArea(const QString& display, bool atTop) : display_(display), atTop_(atTop) {}

bool StatusArea::start(int timeoutMs)
{
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // Bottom left: on the laptop's screen, clear of the island at the top.
    // Across the top it keeps windows off its strip, as a desktop's panel does.
    const QString edge = atTop_ ? QStringLiteral("--edge top --monitor primary --SetPartialStrut true") : QStringLiteral("--edge bottom --align left --widthtype request");
    process_.start(QStringLiteral("trayer"), (edge + QStringLiteral(" --height 30")).split(u' '));
    if (!process_.waitForStarted(60000)) {
        failure_ = QStringLiteral("trayer did not start: %1").arg(process_.errorString());
        return false;
    }
    const auto ended = [this] { return process_.state() == QProcess::NotRunning; };
    if (waitUntil([&] { return ended() || ownsTraySelection(); }, timeoutMs, 50) && !ended())
        return true;
    failure_ = QStringLiteral("trayer takes no icons: %1").arg(QString::fromLocal8Bit(process_.readAll()).right(2000));
    return false;
}

bool StatusArea::ownsTraySelection() const
{
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(
        xcb_connect(display_.toLatin1().constData(), nullptr), &xcb_disconnect);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(c.get(), xcb_intern_atom(c.get(), 0, 19, "_NET_SYSTEM_TRAY_S0"), nullptr), &std::free);
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        atom ? xcb_get_selection_owner_reply(c.get(), xcb_get_selection_owner(c.get(), atom->atom), nullptr) : nullptr,
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace quorvia::test
