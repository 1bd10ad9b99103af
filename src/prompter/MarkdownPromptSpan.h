#pragma once

#include "prompter/MarkdownPromptStyle.h"

namespace quorvia {

// A style over display text; location and length in UTF-16 units, never empty.
struct MarkdownPromptSpan {
    int location = 0;
    int length = 0;
    MarkdownPromptStyle style;

    int end() const { return location + length; }
    bool operator==(const MarkdownPromptSpan&) const = default;
};

} // namespace quorvia
