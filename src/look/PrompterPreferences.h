#pragma once

#include "look/IslandPreferences.h"

namespace quorvia {

// The detached prompter window. Absent keys are seeded once from the island's
// values; later island changes do not follow.
class PrompterPreferences : public WindowPreferences {
public:
    PrompterPreferences(platform::DefaultsStore* defaults, const IslandPreferences& fallback);
};

} // namespace quorvia
