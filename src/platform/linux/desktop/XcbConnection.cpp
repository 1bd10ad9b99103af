#include "platform/linux/desktop/XcbConnection.h"

#include <QGuiApplication>

#include <cstring>

namespace quorvia::platform::native {

std::optional<XcbScreenConnection> connectXcbScreen(const QByteArray& displayName)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return std::nullopt;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return std::nullopt;
    }
    return XcbScreenConnection{c, it.data};
}

xcb_atom_t internXcbAtom(xcb_connection_t* c, const char* name, bool onlyIfExists)
{
    auto atom = xcbReply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, onlyIfExists, std::uint16_t(std::strlen(name)), name), nullptr));
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool qtOnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

} // namespace quorvia::platform::native
