#include "prompter/TimelineStripReload.h"

#include <algorithm>
#include <optional>

namespace quorvia {
namespace {

std::optional<QUuid> selectedId(const std::vector<PromptTimelineBlock>& blocks, int index)
{
    if (index < 0 || index >= static_cast<int>(blocks.size()))
        return std::nullopt;
    return blocks[static_cast<std::size_t>(index)].id;
}

} // namespace

bool timelineRevealNeeded(const std::vector<PromptTimelineBlock>& oldBlocks, int oldSelectedIndex,
                          const std::vector<PromptTimelineBlock>& newBlocks, int newSelectedIndex)
{
    const bool sameIds = std::equal(oldBlocks.begin(), oldBlocks.end(), newBlocks.begin(), newBlocks.end(),
                                    [](const PromptTimelineBlock& a, const PromptTimelineBlock& b) { return a.id == b.id; });
    return !sameIds || selectedId(oldBlocks, oldSelectedIndex) != selectedId(newBlocks, newSelectedIndex);
}

} // namespace quorvia
