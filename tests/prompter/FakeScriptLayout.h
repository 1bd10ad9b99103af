#pragma once

#include "prompter/ScriptLayout.h"
#include "prompter/ScriptScrollModel.h"

#include <algorithm>
#include <cmath>

namespace quorvia::test {

// Uniform lines: every line holds the same number of UTF-16 units and has
// the same height, a multiple of the model's font size.
class FakeScriptLayout final : public ScriptLayout {
public:
    int unitsPerLine = 20;
    double lineHeightPerFontSize = 1.25;
    double visible = 400;
    const ScriptScrollModel* model = nullptr;

    double lineHeight() const { return (model ? model->fontSize() : 18) * lineHeightPerFontSize; }
    int length() const { return model ? static_cast<int>(model->displayText().size()) : 0; }
    int lineCount() const { return (length() + unitsPerLine - 1) / unitsPerLine; }

    double visibleHeight() const override { return visible; }
    double documentHeight() const override { return length() == 0 ? 0 : lineCount() * lineHeight() + 2 * insetHeight(); }
    double insetHeight() const override { return 24; }
    int characterCount() const override { return length(); }
    int textLength() const override { return length(); }
    std::optional<LineBox> rangeBox(int location, int length) const override
    {
        if (length < 1)
            return std::nullopt;
        const int first = location / unitsPerLine;
        const int last = (location + length - 1) / unitsPerLine;
        return LineBox{first * lineHeight(), (last - first + 1) * lineHeight()};
    }
    int characterAt(double textY) const override
    {
        const int line = std::clamp(static_cast<int>(std::floor(textY / lineHeight())), 0, std::max(lineCount() - 1, 0));
        return std::min(line * unitsPerLine, std::max(length() - 1, 0));
    }
};

} // namespace quorvia::test
