#pragma once

#include "platform/displays/DisplayService.h"

#include <optional>
#include <vector>

namespace quorvia {

using platform::DisplayID;

// Which displays exist and which are mirrored, at one moment.
struct DisplaySnapshot {
    std::optional<DisplayID> builtInID;
    std::vector<DisplayID> externalIDs; // ascending
    std::vector<DisplayID> mirroredIDs; // ascending, built-in included

    // The one definition of a safe topology: a known built-in screen, no
    // mirroring anywhere, and the chosen display connected as an extended one.
    bool isSafe(std::optional<DisplayID> selectedExternalID) const;
    bool hasSingleSafeExternalDisplay() const;
    bool isMirroring() const { return !mirroredIDs.empty(); }

    friend bool operator==(const DisplaySnapshot&, const DisplaySnapshot&) = default;
};

} // namespace quorvia
