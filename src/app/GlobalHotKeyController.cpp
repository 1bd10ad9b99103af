#include "app/GlobalHotKeyController.h"

#include "platform/Platform.h"

namespace quorvia {

GlobalHotKeyController::GlobalHotKeyController()
{
    installHandler();
    registerHotKey(emergencyKeyCode, HotKeyID::emergency);
}

GlobalHotKeyController::~GlobalHotKeyController()
{
    auto& hotKeys = platform::current().hotKeys();
    for (const auto& [id, ref] : hotKeyRefs_)
        hotKeys.unregisterHotKey(ref);
    if (eventHandler_)
        hotKeys.removeHandler(*eventHandler_);
}

void GlobalHotKeyController::installHandler()
{
    // The service outlives the controller, which removes its handler first.
    eventHandler_ = platform::current().hotKeys().installHandler(
        [this](platform::HotKeyID id) { return hotKeyPressed(id); });
}

void GlobalHotKeyController::registerHotKey(std::uint32_t keyCode, HotKeyID id)
{
    if (hotKeyRefs_.contains(id))
        return;
    // Another application may hold the combination; it then stays absent.
    if (auto ref = platform::current().hotKeys().registerHotKey(keyCode, emergencyModifiers,
                                                                {signature, std::uint32_t(id)}))
        hotKeyRefs_.emplace(id, *ref);
}

platform::HotKeyEventStatus GlobalHotKeyController::hotKeyPressed(platform::HotKeyID id)
{
    if (id.signature != signature)
        return platform::HotKeyEventStatus::notHandled;
    handle(id.id);
    return platform::HotKeyEventStatus::handled;
}

void GlobalHotKeyController::handle(std::uint32_t id)
{
    if (id == std::uint32_t(HotKeyID::emergency) && onEmergencyToggle)
        onEmergencyToggle();
}

} // namespace quorvia
