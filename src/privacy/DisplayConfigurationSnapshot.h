#pragma once

#include "platform/displays/DisplayService.h"

#include <vector>

namespace quorvia {

// The geometry of every screen, to tell a real configuration change from a
// spurious notice.
struct DisplayConfigurationSnapshot {
    struct Screen {
        platform::DisplayID id = 0;
        platform::Rect frame;
        double backingScaleFactor = 1.0;
        bool isBuiltIn = false;
        bool isMirrored = false;
        friend bool operator==(const Screen&, const Screen&) = default;
    };

    std::vector<Screen> screens; // ascending by id

    friend bool operator==(const DisplayConfigurationSnapshot&, const DisplayConfigurationSnapshot&) = default;
};

} // namespace quorvia
