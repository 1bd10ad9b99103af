#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace quorvia::platform {

// Modifier bits of our own, one per modifier key, fixed whatever the X
// server's modifier map says: a combination written once means the same keys
// on every desktop, and the backend finds the server's bits for them.
namespace hotKeyModifier {
inline constexpr std::uint32_t command = 0x0100;
inline constexpr std::uint32_t shift = 0x0200;
inline constexpr std::uint32_t option = 0x0800;
inline constexpr std::uint32_t control = 0x1000;
} // namespace hotKeyModifier

// Keys by their place on a US (ANSI) keyboard, whatever the layout prints: a
// hot key stays under the same fingers when the speaker switches layouts.
namespace hotKeyCode {
inline constexpr std::uint32_t ansiH = 4;
} // namespace hotKeyCode

// Names one hot key of one owner: the owner's four-letter signature and its own number.
struct HotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    friend bool operator==(const HotKeyID&, const HotKeyID&) = default;
};

// What a handler did with a pressed hot key; one not handled goes on to the next handler.
enum class HotKeyEventStatus : std::int32_t {
    handled = 0,
    notHandled = -9874,
};

// System-wide key combinations for the application: they fire while any
// application is in front. Presses reach the handlers on the main thread,
// newest handler first, until one handles it.
class HotKeyService {
public:
    using Handler = std::function<HotKeyEventStatus(HotKeyID)>;
    using HandlerRef = std::uint64_t;
    using HotKeyRef = std::uint64_t;

    virtual ~HotKeyService() = default;

    virtual HandlerRef installHandler(Handler handler) = 0;
    virtual void removeHandler(HandlerRef handler) = 0;
    // None when the combination cannot be had: another client holds it, or the
    // key or the desktop is not supported. The exact modifiers must be held.
    virtual std::optional<HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers, HotKeyID id) = 0;
    virtual void unregisterHotKey(HotKeyRef hotKey) = 0;
};

} // namespace quorvia::platform
