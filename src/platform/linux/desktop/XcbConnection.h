#pragma once

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace quorvia::platform::native {

// An XCB reply owned until the end of its scope.
template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> XcbReply<T> xcbReply(T* raw) { return XcbReply<T>(raw, &std::free); }

struct XcbScreenConnection {
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
};

// Opens the display named (the default one when empty) and finds the screen
// it names; nothing, with the connection closed again, when either fails.
std::optional<XcbScreenConnection> connectXcbScreen(const QByteArray& displayName);

// Whether Qt draws on an X server: elsewhere (offscreen, another display
// system) there is no X server of Qt's to ask.
bool qtOnX11();

// XCB_ATOM_NONE when the server does not answer (or, with onlyIfExists,
// does not know the name).
xcb_atom_t internXcbAtom(xcb_connection_t* c, const char* name, bool onlyIfExists = false);

} // namespace quorvia::platform::native
