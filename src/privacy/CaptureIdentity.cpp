#include "privacy/CaptureIdentity.h"

#include "platform/Platform.h"
#include "privacy/DisplayTopology.h"

#include <algorithm>

namespace quorvia {

std::optional<CaptureIdentity> CaptureIdentity::current(std::optional<platform::DisplayID> selectedExternalID)
{
    const DisplaySnapshot snapshot = DisplayTopology::snapshot();
    if (snapshot.isMirroring() || !snapshot.builtInID || !selectedExternalID)
        return std::nullopt;
    if (std::find(snapshot.externalIDs.begin(), snapshot.externalIDs.end(), *selectedExternalID)
        == snapshot.externalIDs.end())
        return std::nullopt;
    const auto builtIn = DisplayTopology::screen(*snapshot.builtInID);
    const auto audience = DisplayTopology::screen(*selectedExternalID);
    if (!builtIn || !audience)
        return std::nullopt;

    CaptureIdentity identity;
    identity.builtInID = *snapshot.builtInID;
    identity.audienceID = *selectedExternalID;
    identity.builtInFrame = builtIn->frame;
    identity.builtInScale = builtIn->backingScaleFactor;
    identity.audienceFrame = audience->frame;
    identity.audienceScale = audience->backingScaleFactor;
    // The main display is the one the global space is anchored at: the first listed.
    for (const auto& screen : platform::current().displays().screens())
        if (screen.displayID) {
            identity.mainDisplayID = screen.displayID;
            break;
        }
    identity.externalDisplays = DisplayTopology::externalDisplayDescriptors();
    return identity;
}

} // namespace quorvia
