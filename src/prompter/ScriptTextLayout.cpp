#include "prompter/ScriptTextLayout.h"

#include "look/DarkColours.h"

#include "platform/core/Text.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace quorvia {

namespace {

QFont systemFont(double size, QFont::Weight weight, bool italic = false)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    font.setWeight(weight);
    font.setItalic(italic);
    return font;
}

QTextCharFormat fontFormat(const QFont& font)
{
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    return format;
}

QTextCharFormat styleFormat(const MarkdownPromptStyle& style, double fontSize)
{
    using Kind = MarkdownPromptStyle::Kind;
    switch (style.kind) {
    case Kind::heading:
        return fontFormat(systemFont(fontSize * std::max(1.08, 1.42 - (style.level - 1) * 0.07), QFont::Bold));
    case Kind::strong:
        return fontFormat(systemFont(fontSize, QFont::Bold));
    case Kind::emphasis:
    case Kind::quote:
        return fontFormat(systemFont(fontSize, QFont::Medium, true));
    case Kind::code: {
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(std::max(1, static_cast<int>(std::lround(fontSize * 0.92))));
        mono.setWeight(QFont::Medium);
        auto format = fontFormat(mono);
        format.setBackground(dark_colours::promptCodeBackground());
        return format;
    }
    case Kind::list:
        break;
    }
    return {};
}

} // namespace

ScriptTextLayout::ScriptTextLayout(const QWidget& view) : view_(view)
{
    document_.setUndoRedoEnabled(false);
    applyInsets();
    document_.setTextWidth(std::max(0, view.width()));
}

void ScriptTextLayout::build(const ScriptScrollModel& model)
{
    const double fontSize = model.fontSize();
    const QString& text = model.displayText();
    const QFont base = systemFont(fontSize, QFont::Medium);
    document_.setDefaultFont(base);
    document_.setPlainText(text);
    applyInsets();

    QTextCursor cursor(&document_);
    cursor.select(QTextCursor::Document);
    QTextBlockFormat block;
    block.setLineHeight(fontSize * 0.12, QTextBlockFormat::LineDistanceHeight);
    block.setBottomMargin(fontSize * 0.28);
    cursor.mergeBlockFormat(block);
    QTextCharFormat baseFormat = fontFormat(base);
    baseFormat.setForeground(dark_colours::promptDimText());
    cursor.setCharFormat(baseFormat);

    const auto& documents = model.renderedDocuments();
    const auto& ranges = model.sectionRanges();
    for (std::size_t i = 0; i < documents.size() && i < ranges.size(); ++i) {
        for (const auto& span : documents[i].spans()) {
            if (span.style.kind == MarkdownPromptStyle::Kind::list)
                continue;
            cursor.setPosition(ranges[i].location + span.location);
            cursor.setPosition(ranges[i].location + span.end(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(styleFormat(span.style, fontSize));
        }
    }
    paintedCurrent_ = {};
    paintedSpoken_ = {};
    characterCount_ = platform::text::graphemeCount(text);
    textLength_ = static_cast<int>(text.size());
    document_.setTextWidth(std::max(0, view_.width()));
}

void ScriptTextLayout::applyInsets()
{
    document_.setDocumentMargin(0);
    QTextFrameFormat frame = document_.rootFrame()->frameFormat();
    frame.setLeftMargin(horizontalInset);
    frame.setRightMargin(horizontalInset);
    frame.setTopMargin(verticalInset);
    frame.setBottomMargin(verticalInset);
    document_.rootFrame()->setFrameFormat(frame);
}

void ScriptTextLayout::paint(int location, int length, const QColor& colour)
{
    if (length <= 0)
        return;
    QTextCursor cursor(&document_);
    cursor.setPosition(location);
    cursor.setPosition(location + length, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setForeground(colour);
    cursor.mergeCharFormat(format);
}

void ScriptTextLayout::applyHighlight(std::optional<ScriptScrollModel::Range> current,
                                      std::optional<ScriptScrollModel::Range> spoken)
{
    if (textLength_ == 0)
        return;
    // Recolouring makes the document lay its blocks out again: touch only
    // what changed, so a spoken character costs one block.
    using Range = ScriptScrollModel::Range;
    const Range none{0, 0};
    const Range newCurrent = current.value_or(none);
    const Range newSpoken = spoken.value_or(none);
    QTextCursor batch(&document_);
    batch.beginEditBlock();
    if (newCurrent != paintedCurrent_) {
        paint(paintedCurrent_.location, paintedCurrent_.length, dark_colours::promptDimText());
        paint(newCurrent.location, newCurrent.length, dark_colours::white());
        paint(newSpoken.location, newSpoken.length, dark_colours::systemYellow());
    } else if (newSpoken != paintedSpoken_) {
        const int oldEnd = paintedSpoken_.length > 0 ? paintedSpoken_.location + paintedSpoken_.length : newCurrent.location;
        const int newEnd = newSpoken.length > 0 ? newSpoken.location + newSpoken.length : newCurrent.location;
        if (newEnd > oldEnd)
            paint(oldEnd, newEnd - oldEnd, dark_colours::systemYellow());
        else
            paint(newEnd, oldEnd - newEnd, dark_colours::white());
    }
    batch.endEditBlock();
    paintedCurrent_ = newCurrent;
    paintedSpoken_ = newSpoken;
}

bool ScriptTextLayout::followViewWidth()
{
    const double width = std::max(0, view_.width());
    if (document_.textWidth() == width)
        return false;
    document_.setTextWidth(width);
    return true;
}

double ScriptTextLayout::visibleHeight() const { return view_.height(); }

double ScriptTextLayout::documentHeight() const
{
    if (textLength_ == 0)
        return 0;
    return document_.size().height();
}

std::optional<ScriptLayout::LineBox> ScriptTextLayout::lineBoxAt(int position) const
{
    const QTextBlock block = document_.findBlock(position);
    if (!block.isValid())
        return std::nullopt;
    document_.documentLayout()->blockBoundingRect(block); // lays the block out
    const QTextLayout* layout = block.layout();
    if (!layout)
        return std::nullopt;
    const QTextLine line = layout->lineForTextPosition(position - block.position());
    if (!line.isValid())
        return std::nullopt;
    return LineBox{layout->position().y() + line.y() - verticalInset, line.height()};
}

std::optional<ScriptLayout::LineBox> ScriptTextLayout::rangeBox(int location, int length) const
{
    if (length < 1 || location < 0 || location >= textLength_)
        return std::nullopt;
    const auto first = lineBoxAt(location);
    if (!first)
        return std::nullopt;
    const auto last = lineBoxAt(std::min(location + length, textLength_) - 1);
    const double bottom = last ? last->top + last->height : first->top + first->height;
    return LineBox{first->top, std::max(first->height, bottom - first->top)};
}

int ScriptTextLayout::characterAt(double textY) const
{
    if (textLength_ == 0)
        return 0;
    const double y = textY + verticalInset;
    document_.size(); // lays the whole text out
    // The last line whose top is at or above y; the first line when y is above all.
    int result = 0;
    for (QTextBlock block = document_.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        if (!layout)
            continue;
        const double blockTop = layout->position().y();
        if (blockTop > y && block != document_.begin())
            break;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (blockTop + line.y() > y && !(block == document_.begin() && i == 0))
                return std::min(result, textLength_ - 1);
            result = block.position() + line.textStart();
        }
    }
    return std::min(result, textLength_ - 1);
}

} // namespace quorvia
