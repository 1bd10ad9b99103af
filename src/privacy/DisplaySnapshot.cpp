#include "privacy/DisplaySnapshot.h"

#include <algorithm>

namespace quorvia {

bool DisplaySnapshot::isSafe(std::optional<DisplayID> selected) const
{
    return builtInID && mirroredIDs.empty() && selected
        && std::find(externalIDs.begin(), externalIDs.end(), *selected) != externalIDs.end();
}

bool DisplaySnapshot::hasSingleSafeExternalDisplay() const
{
    return builtInID && externalIDs.size() == 1 && mirroredIDs.empty();
}

} // namespace quorvia
