#pragma once

#include <optional>

namespace quorvia {

// What the script view measures through its text layout. Text coordinates
// start at the top of the text, below the vertical inset; offsets count
// UTF-16 units of the whole shown text.
class ScriptLayout {
public:
    struct LineBox {
        double top = 0;
        double height = 0;
    };

    virtual ~ScriptLayout() = default;

    virtual double visibleHeight() const = 0;
    // The laid-out text with both vertical insets.
    virtual double documentHeight() const = 0;
    virtual double insetHeight() const = 0;
    // User-perceived characters of the whole text.
    virtual int characterCount() const = 0;
    virtual int textLength() const = 0;
    // The box of the lines that hold a character range; none for an empty range.
    virtual std::optional<LineBox> rangeBox(int location, int length) const = 0;
    // The character nearest the left edge of the text at a text y.
    virtual int characterAt(double textY) const = 0;
};

} // namespace quorvia
