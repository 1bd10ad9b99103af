#pragma once

#include "platform/displays/DisplayService.h"
#include "privacy/ExternalDisplayDescriptor.h"

#include <optional>
#include <vector>

namespace quorvia {

// The display layout a capture was started for. Unplugging, adding,
// rearranging or rescaling any display, renaming an external one or changing
// the main display changes it.
struct CaptureIdentity {
    platform::DisplayID builtInID = 0;
    platform::DisplayID audienceID = 0;
    platform::Rect builtInFrame;
    double builtInScale = 1.0;
    platform::Rect audienceFrame;
    double audienceScale = 1.0;
    std::optional<platform::DisplayID> mainDisplayID;
    std::vector<ExternalDisplayDescriptor> externalDisplays;

    // The identity for the chosen audience display as the displays stand now;
    // none unless nothing is mirrored, the built-in display is known and the
    // chosen display is connected as an extended one.
    static std::optional<CaptureIdentity> current(std::optional<platform::DisplayID> selectedExternalID);

    friend bool operator==(const CaptureIdentity&, const CaptureIdentity&) = default;
};

} // namespace quorvia
