#pragma once

#include "platform/desktop/HotKeyService.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace quorvia::test {

// Hot keys without a keyboard: tests press registered combinations, deliver
// events of any id, and let other clients take a combination first.
class FakeHotKeyService final : public platform::HotKeyService {
public:
    HandlerRef installHandler(Handler handler) override;
    void removeHandler(HandlerRef handler) override;
    std::optional<HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                            platform::HotKeyID id) override;
    void unregisterHotKey(HotKeyRef hotKey) override;

    // The user presses the combination: every registration of exactly it fires.
    void press(std::uint32_t keyCode, std::uint32_t modifiers);
    // An event reaches the handlers as the system would deliver it; the status
    // of the handler that took it, or not handled.
    platform::HotKeyEventStatus deliver(platform::HotKeyID id);
    // Registrations of this combination are refused from now on.
    void takeByAnotherClient(std::uint32_t keyCode, std::uint32_t modifiers);

    std::size_t registrationCount() const { return hotKeys_.size(); }
    std::size_t handlerCount() const { return handlers_.size(); }

private:
    struct Registration {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        platform::HotKeyID id;
    };
    std::vector<std::pair<HandlerRef, Handler>> handlers_;
    std::map<HotKeyRef, Registration> hotKeys_;
    std::set<std::pair<std::uint32_t, std::uint32_t>> taken_;
    std::uint64_t nextRef_ = 1;
};

} // namespace quorvia::test
