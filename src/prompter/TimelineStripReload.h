#pragma once

#include "model/PromptTimelineBlock.h"

#include <vector>

namespace quorvia {

// A reload always rebuilds the cards; it scrolls only when the order of blocks
// or the selected block changed. Labels and texts do not count.
bool timelineRevealNeeded(const std::vector<PromptTimelineBlock>& oldBlocks, int oldSelectedIndex,
                          const std::vector<PromptTimelineBlock>& newBlocks, int newSelectedIndex);

} // namespace quorvia
