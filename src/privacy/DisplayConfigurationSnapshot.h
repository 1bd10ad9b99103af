#pragma once

#include "platform/displays/DisplayService.h"

#include <algorithm>
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
        // Not part of the configuration: panels come and go without it
        // changing. A window manager sets it once it has caught up with the
        // screens.
        platform::Rect visibleFrame;
        friend bool operator==(const Screen& a, const Screen& b)
        {
            return a.id == b.id && a.frame == b.frame && a.backingScaleFactor == b.backingScaleFactor
                && a.isBuiltIn == b.isBuiltIn && a.isMirrored == b.isMirrored;
        }
    };

    std::vector<Screen> screens; // ascending by id

    friend bool operator==(const DisplayConfigurationSnapshot&, const DisplayConfigurationSnapshot&) = default;
    bool hasSameVisibleFrames(const DisplayConfigurationSnapshot& other) const
    {
        return std::ranges::equal(screens, other.screens,
                                  [](const Screen& a, const Screen& b) { return a == b && a.visibleFrame == b.visibleFrame; });
    }
};

} // namespace quorvia
