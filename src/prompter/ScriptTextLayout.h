#pragma once

#include "prompter/MarkdownPromptDocument.h"
#include "prompter/ScriptLayout.h"
#include "prompter/ScriptScrollModel.h"

#include <QTextDocument>

#include <vector>

class QWidget;

namespace quorvia {

// The script view's styled text: a QTextDocument laid out at the view's width,
// with the prompter's insets, fonts and spacing, measured for the scroll model.
class ScriptTextLayout final : public ScriptLayout {
public:
    static constexpr double horizontalInset = 18;
    static constexpr double verticalInset = 24;

    explicit ScriptTextLayout(const QWidget& view);

    QTextDocument& document() { return document_; }
    const QTextDocument& document() const { return document_; }

    // Replaces the text and its styles.
    void build(const ScriptScrollModel& model);
    // Dims the whole text, then paints the current section white and its spoken part yellow.
    void applyHighlight(std::optional<ScriptScrollModel::Range> current, std::optional<ScriptScrollModel::Range> spoken);
    // True when the width changed and the text was laid out anew.
    bool followViewWidth();

    double visibleHeight() const override;
    double documentHeight() const override;
    double insetHeight() const override { return verticalInset; }
    int characterCount() const override { return characterCount_; }
    int textLength() const override { return textLength_; }
    std::optional<LineBox> rangeBox(int location, int length) const override;
    int characterAt(double textY) const override;

private:
    void applyInsets();
    void paint(int location, int length, const QColor& colour);
    std::optional<LineBox> lineBoxAt(int position) const;

    const QWidget& view_;
    QTextDocument document_;
    // The ranges last painted white and yellow.
    ScriptScrollModel::Range paintedCurrent_;
    ScriptScrollModel::Range paintedSpoken_;
    int characterCount_ = 0;
    int textLength_ = 0;
};

} // namespace quorvia
