#include "model/PromptTimelineBlockKind.h"

#include "platform/core/Text.h"

namespace quorvia {

bool PromptTimelineBlockKind::operator==(const PromptTimelineBlockKind& other) const
{
    if (kind != other.kind)
        return false;
    if (kind == Case::slide)
        return slideNumber == other.slideNumber;
    return platform::text::canonicallyEqual(demoLabel, other.demoLabel);
}

} // namespace quorvia
