#pragma once

#include "platform/desktop/PointerService.h"

namespace quorvia::test {

class FakePointerService final : public platform::PointerService {
public:
    FakePointerService()
    {
        QImage image(16, 24, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        arrow = {image, {16, 24}, {1, 1}};
        current = arrow;
    }

    platform::Point mouseLocation() const override { return location; }
    platform::CursorImage currentCursor() const override { return current; }
    platform::CursorImage arrowCursor() const override { return arrow; }
    bool isApplicationActive() const override { return active; }
    bool isButtonHeld() const override { return buttonHeld; }
    Press lastPress() const override { return press; }
    Key lastKey() const override { return key; }
    std::vector<Key> keysAfter(std::uint64_t number) const override
    {
        std::vector<Key> after;
        for (const Key& k : keys)
            if (k.number > number)
                after.push_back(k);
        if (key.number > number)
            after.push_back(key);
        return after;
    }

    platform::Point location;
    platform::CursorImage current;
    platform::CursorImage arrow;
    bool active = false;
    bool buttonHeld = false;
    Press press;
    Key key;
    // The keys before `key`, oldest first; `key` itself is not repeated here.
    std::vector<Key> keys;
};

} // namespace quorvia::test
