#pragma once

#include "platform/desktop/HotKeyService.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace quorvia {

// The emergency key combination, Control-Option-Command-H, system-wide. It
// registers at construction and calls onEmergencyToggle on each press; what a
// press means is the owner's business.
class GlobalHotKeyController final {
public:
    GlobalHotKeyController();
    ~GlobalHotKeyController();
    GlobalHotKeyController(const GlobalHotKeyController&) = delete;
    GlobalHotKeyController& operator=(const GlobalHotKeyController&) = delete;

    std::function<void()> onEmergencyToggle;

    // 'QVHT', the four letters packed big-endian.
    static constexpr std::uint32_t signature = 0x51564854;
    static constexpr std::uint32_t emergencyKeyCode = platform::hotKeyCode::ansiH;
    static constexpr std::uint32_t emergencyModifiers =
        platform::hotKeyModifier::command | platform::hotKeyModifier::option | platform::hotKeyModifier::control;

private:
    enum class HotKeyID : std::uint32_t { emergency = 1 };

    void installHandler();
    void registerHotKey(std::uint32_t keyCode, HotKeyID id);
    platform::HotKeyEventStatus hotKeyPressed(platform::HotKeyID id);
    void handle(std::uint32_t id);

    std::optional<platform::HotKeyService::HandlerRef> eventHandler_;
    std::map<HotKeyID, platform::HotKeyService::HotKeyRef> hotKeyRefs_;
};

} // namespace quorvia
