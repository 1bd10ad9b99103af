#include "support/StatusArea.h"

#include <QElapsedTimer>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace quorvia::test {

StatusArea::StatusArea(const QString& display) : display_(display) {}

bool StatusArea::start(int timeoutMs)
{
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // Bottom left: on the laptop's screen, clear of the island at the top.
    process_.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("bottom"),
                                              QStringLiteral("--align"), QStringLiteral("left"),
                                              QStringLiteral("--widthtype"), QStringLiteral("request"),
                                              QStringLiteral("--height"), QStringLiteral("30")});
    if (!process_.waitForStarted(60000)) {
        failure_ = QStringLiteral("trayer did not start: %1").arg(process_.errorString());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && process_.state() != QProcess::NotRunning) {
        if (ownsTraySelection())
            return true;
        QThread::msleep(50);
    }
    failure_ = QStringLiteral("trayer takes no icons: %1").arg(QString::fromLocal8Bit(process_.readAll()).right(2000));
    return false;
}

bool StatusArea::ownsTraySelection() const
{
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(c)) {
        const char* name = "_NET_SYSTEM_TRAY_S0";
        auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
        if (atom) {
            auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
            std::free(atom);
        }
    }
    xcb_disconnect(c);
    return owned;
}

} // namespace quorvia::test
