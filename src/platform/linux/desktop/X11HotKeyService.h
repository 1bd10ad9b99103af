#pragma once

#include "platform/desktop/HotKeyService.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <bitset>
#include <map>
#include <optional>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;

namespace quorvia::platform::native {

// The X server's modifier bits that stand for our command and option
// modifiers (super and alt) and for the lock keys, which a hot key must ignore.
struct X11ModifierMasks {
    std::uint16_t super = 0x40; // Mod4
    std::uint16_t alt = 0x08;   // Mod1
    std::uint16_t numLock = 0x10; // Mod2
};

// Hot keys as passive key grabs on the root window, on a connection of its
// own. A key is grabbed by its position (the evdev code of its US key, so a
// layout switch never moves it), with the exact modifiers and again with Caps
// Lock and Num Lock held.
// While another client grabs the whole keyboard (a window manager's move, any
// open menu) the server holds a passive grab's keys back; XInput2's raw key
// events still come then, so where the server has them a press is also read
// from those, against the modifier keys they tell down.
// A keymap or modifier map changed later (a desktop's settings applied after
// we start) moves the modifiers' bits and keys: both roads are set anew.
class X11HotKeyService final : public QObject, public HotKeyService {
    Q_OBJECT
public:
    // The display named, or the default one when empty; check isAvailable.
    explicit X11HotKeyService(const QByteArray& displayName = {});
    // Releases every grab still held.
    ~X11HotKeyService() override;

    bool isAvailable() const { return connection_ != nullptr; }

    HandlerRef installHandler(Handler handler) override;
    void removeHandler(HandlerRef handler) override;
    std::optional<HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers, HotKeyID id) override;
    void unregisterHotKey(HotKeyRef hotKey) override;

    // The X key code of one of our key positions on an evdev server; none for a key
    // this service does not know.
    static std::optional<std::uint8_t> x11KeyCode(std::uint32_t keyCode);
    // The X modifier state for our modifiers; none when a bit has no counterpart.
    static std::optional<std::uint16_t> x11Modifiers(std::uint32_t modifiers, const X11ModifierMasks& masks);

private:
    struct Grab {
        std::uint8_t keyCode = 0;
        std::uint16_t modifiers = 0;
        HotKeyID id;
        // As registered, to grab again after the mapping changes.
        std::uint32_t ourKeyCode = 0;
        std::uint32_t ourModifiers = 0;
    };

    static std::vector<std::uint16_t> lockVariants(std::uint16_t numLock);
    void ungrab(const Grab& grab);
    // Reads the modifier bits again and grabs every key anew with them.
    void remap();
    void sync();
    void readQueuedLater();
    void readEvents();
    void rawKey(const void* event, bool press);
    void pressed(std::uint8_t keyCode, std::uint32_t time, std::uint16_t state);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t minKeyCode_ = 0;
    std::uint8_t maxKeyCode_ = 0;
    X11ModifierMasks masks_;
    // The modifier bits each key code is bound to.
    std::array<std::uint16_t, 256> modifiersOfKey_{};
    // The server said the keymap or the modifier map changed.
    bool mappingChanged_ = false;
    // 0 where the server has no raw key events to give during others' grabs.
    std::uint8_t inputOpcode_ = 0;
    // Keys down as the raw events tell, so a held key's repeats act no more.
    std::bitset<256> down_;
    // The press that last acted: each press comes by both roads with one timestamp.
    std::optional<std::pair<std::uint8_t, std::uint32_t>> lastActed_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<HandlerRef, Handler>> handlers_;
    std::map<HotKeyRef, Grab> grabs_;
    std::uint64_t nextRef_ = 1;
    // A held key repeats as a release and a press with one timestamp.
    std::uint8_t lastReleasedKey_ = 0;
    std::uint32_t lastReleaseTime_ = 0;
};

} // namespace quorvia::platform::native
