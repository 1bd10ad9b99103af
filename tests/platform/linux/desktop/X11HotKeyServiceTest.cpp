#include "platform/linux/desktop/X11HotKeyService.h"

#include <gtest/gtest.h>

using namespace quorvia::platform;
using native::X11HotKeyService;
using native::X11ModifierMasks;

namespace {

constexpr std::uint32_t emergency = hotKeyModifier::control | hotKeyModifier::option | hotKeyModifier::command;

} // namespace

TEST(X11HotKeyService, KeysByPositionAndModifiersByTheServersBits)
{
    EXPECT_EQ(X11HotKeyService::x11KeyCode(hotKeyCode::ansiH), 43);
    EXPECT_FALSE(X11HotKeyService::x11KeyCode(5));

    X11ModifierMasks masks;
    masks.super = 0x80; // a server with Super on Mod5
    EXPECT_EQ(X11HotKeyService::x11Modifiers(emergency, masks), 0x80 | 0x08 | 0x04);
    EXPECT_EQ(X11HotKeyService::x11Modifiers(emergency | hotKeyModifier::shift, masks), 0x80 | 0x08 | 0x04 | 0x01);
    // A modifier without a counterpart refuses the key rather than grabbing a looser one.
    EXPECT_FALSE(X11HotKeyService::x11Modifiers(emergency | 0x0080, masks));
}
