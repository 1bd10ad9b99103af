#pragma once

#include "prompter/MarkdownPromptSpan.h"

#include <QString>

#include <vector>

namespace quorvia {

// A block's light Markdown rendered to display text, style spans and a map of
// display offsets back to raw offsets (UTF-16 units on both sides).
class MarkdownPromptDocument {
public:
    static MarkdownPromptDocument render(const QString& raw);

    const QString& string() const { return string_; }
    const std::vector<MarkdownPromptSpan>& spans() const { return spans_; }

    // The last display position whose raw position is at or before the offset;
    // a raw offset after the last shown character maps to the end of the display text.
    int renderedOffset(int rawOffset) const;
    int rawOffset(int renderedOffset) const;

    // Entry k is the raw offset of display offset k.
    const std::vector<int>& rawBoundaries() const { return rawBoundaryByRenderedBoundary_; }
    int rawLength() const { return rawLength_; }

private:
    friend class MarkdownPromptParser;
    QString string_;
    std::vector<MarkdownPromptSpan> spans_;
    std::vector<int> rawBoundaryByRenderedBoundary_{0};
    int rawLength_ = 0;
    // Raw end of the last shown character, before the list's last entry is
    // stretched over trailing markup.
    int contentEnd_ = 0;
};

} // namespace quorvia
