#pragma once

#include "look/WindowPreferences.h"

namespace quorvia {

// The island's window: 0.97 opaque and on top until the speaker says otherwise.
class IslandPreferences : public WindowPreferences {
public:
    explicit IslandPreferences(platform::DefaultsStore* defaults = nullptr);
};

} // namespace quorvia
