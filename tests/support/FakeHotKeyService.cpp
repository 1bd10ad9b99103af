#include "support/FakeHotKeyService.h"

namespace quorvia::test {

using platform::HotKeyEventStatus;
using platform::HotKeyID;

FakeHotKeyService::HandlerRef FakeHotKeyService::installHandler(Handler handler)
{
    const HandlerRef ref = nextRef_++;
    handlers_.emplace_back(ref, std::move(handler));
    return ref;
}

void FakeHotKeyService::removeHandler(HandlerRef handler)
{
    std::erase_if(handlers_, [&](const auto& entry) { return entry.first == handler; });
}

std::optional<FakeHotKeyService::HotKeyRef> FakeHotKeyService::registerHotKey(std::uint32_t keyCode,
                                                                             std::uint32_t modifiers, HotKeyID id)
{
    if (taken_.contains({keyCode, modifiers}))
        return std::nullopt;
    const HotKeyRef ref = nextRef_++;
    hotKeys_.emplace(ref, Registration{keyCode, modifiers, id});
    return ref;
}

void FakeHotKeyService::unregisterHotKey(HotKeyRef hotKey) { hotKeys_.erase(hotKey); }

void FakeHotKeyService::press(std::uint32_t keyCode, std::uint32_t modifiers)
{
    std::vector<HotKeyID> ids;
    for (const auto& [ref, registration] : hotKeys_) {
        if (registration.keyCode == keyCode && registration.modifiers == modifiers)
            ids.push_back(registration.id);
    }
    for (const HotKeyID& id : ids)
        deliver(id);
}

HotKeyEventStatus FakeHotKeyService::deliver(HotKeyID id)
{
    const auto handlers = handlers_;
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        const HotKeyEventStatus status = it->second(id);
        if (status == HotKeyEventStatus::handled)
            return status;
    }
    return HotKeyEventStatus::notHandled;
}

void FakeHotKeyService::takeByAnotherClient(std::uint32_t keyCode, std::uint32_t modifiers)
{
    taken_.insert({keyCode, modifiers});
}

} // namespace quorvia::test
