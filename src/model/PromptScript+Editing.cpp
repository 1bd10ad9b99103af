#include "model/PromptScript.h"

#include "platform/core/Text.h"
#include "platform/core/Uuid.h"

#include <algorithm>

namespace quorvia {

namespace {

template <typename T>
void moveElement(std::vector<T>& values, std::size_t from, std::size_t to)
{
    T moving = std::move(values[from]);
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(from));
    values.insert(values.begin() + static_cast<std::ptrdiff_t>(to), std::move(moving));
}

} // namespace

bool PromptScript::canUseTimelineLabel(const QString& label, const std::optional<QUuid>& excluding) const
{
    const QString trimmed = platform::text::trimmedWhitespaceAndNewlines(label);
    if (!ScriptText::isValidTimelineLabel(trimmed))
        return false;
    if (!ScriptText::isDemoLabel(trimmed))
        return true;
    return std::none_of(timelineBlocks_.begin(), timelineBlocks_.end(), [&](const PromptTimelineBlock& block) {
        return (!excluding || block.id != *excluding) && block.label.compare(trimmed, Qt::CaseInsensitive) == 0;
    });
}

std::set<qint64> PromptScript::shiftedCompletedSections(qint64 insertionIndex) const
{
    std::set<qint64> out;
    for (qint64 index : completedSections_)
        out.insert(index >= insertionIndex ? index + 1 : index);
    return out;
}

void PromptScript::replaceText(const QString& text)
{
    timelineBlocks_ = parseScript(text).blocks;
    rawText_ = serialize(timelineBlocks_);
    sections_ = ScriptText::sections(timelineBlocks_);
    currentIndex_ = 0;
    readingCharacterIndex_ = 0;
    const auto slideCount = deckSlideCount();
    slideMappings_.clear();
    slideMappingReviews_.clear();
    for (const auto& block : timelineBlocks_) {
        const auto kind = block.kind();
        const bool mapped = kind.isSlide() && isValidSlideNumber(kind.slideNumber, slideCount);
        slideMappings_.push_back(mapped ? std::optional<qint64>(kind.slideNumber) : std::nullopt);
        // The review follows the kind alone, even for a number beyond the deck.
        slideMappingReviews_.push_back(kind.isSlide() ? std::optional(SlideMappingReview::manual) : std::nullopt);
    }
    speechProgress_.assign(timelineBlocks_.size(), 0);
    completedSections_.clear();
    commitTimelineEdit(PresentationEventSource::system);
}

std::optional<QUuid> PromptScript::addDemoBlock(const QString& label, const QString& text, std::optional<qint64> after)
{
    const QString trimmedLabel = platform::text::trimmedWhitespaceAndNewlines(label);
    if (!ScriptText::isDemoLabel(trimmedLabel) || !canUseTimelineLabel(trimmedLabel))
        return std::nullopt;
    const qint64 anchor = after.value_or(sectionCount() - 1);
    // Saturate so that an anchor at the largest index cannot overflow.
    const qint64 insertion = anchor >= sectionCount() ? sectionCount() : std::clamp<qint64>(anchor + 1, 0, sectionCount());
    const auto at = static_cast<std::size_t>(insertion);

    PromptTimelineBlock block(platform::newUuid(), trimmedLabel, platform::text::trimmedWhitespaceAndNewlines(text));
    if (ScriptText::exceededLimitWith(timelineBlocks_, std::nullopt, block.label, block.text))
        return std::nullopt;
    timelineBlocks_.insert(timelineBlocks_.begin() + static_cast<std::ptrdiff_t>(at), block);
    sections_.insert(static_cast<qsizetype>(at), block.text);
    slideMappings_.insert(slideMappings_.begin() + static_cast<std::ptrdiff_t>(at), std::nullopt);
    slideMappingReviews_.insert(slideMappingReviews_.begin() + static_cast<std::ptrdiff_t>(at), std::nullopt);
    speechProgress_.insert(speechProgress_.begin() + static_cast<std::ptrdiff_t>(at), 0);
    completedSections_ = shiftedCompletedSections(insertion);
    currentIndex_ = insertion;
    readingCharacterIndex_ = 0;
    rawText_ = serialize(timelineBlocks_);
    commitTimelineEdit(PresentationEventSource::manualPrompt);
    return block.id;
}

std::optional<ScriptText::SizeLimit> PromptScript::exceededLimit(const std::optional<QUuid>& id, const QString& label,
                                                                 const QString& text) const
{
    std::optional<std::size_t> replacing;
    if (id) {
        const auto found = std::find_if(timelineBlocks_.begin(), timelineBlocks_.end(), [&](const PromptTimelineBlock& b) { return b.id == *id; });
        if (found != timelineBlocks_.end())
            replacing = static_cast<std::size_t>(found - timelineBlocks_.begin());
    }
    return ScriptText::exceededLimitWith(timelineBlocks_, replacing, platform::text::trimmedWhitespaceAndNewlines(label),
                                         platform::text::trimmedWhitespaceAndNewlines(text));
}

bool PromptScript::updateBlock(const QUuid& id, const QString& label, const QString& text)
{
    const auto found = std::find_if(timelineBlocks_.begin(), timelineBlocks_.end(), [&](const PromptTimelineBlock& b) { return b.id == id; });
    if (found == timelineBlocks_.end())
        return false;
    if (!canUseTimelineLabel(label, id))
        return false;
    const auto index = static_cast<std::size_t>(found - timelineBlocks_.begin());
    const QString newLabel = platform::text::trimmedWhitespaceAndNewlines(label);
    const QString newText = platform::text::trimmedWhitespaceAndNewlines(text);
    if (ScriptText::exceededLimitWith(timelineBlocks_, index, newLabel, newText))
        return false;
    found->label = newLabel;
    found->text = newText;
    sections_[static_cast<qsizetype>(index)] = found->text;
    const auto kind = found->kind();
    if (kind.isSlide() && isValidSlideNumber(kind.slideNumber, deckSlideCount())) {
        slideMappings_[index] = kind.slideNumber;
        slideMappingReviews_[index] = SlideMappingReview::manual;
    } else {
        slideMappings_[index] = std::nullopt;
        slideMappingReviews_[index] = std::nullopt;
    }
    speechProgress_[index] = 0;
    completedSections_.erase(static_cast<qint64>(index));
    readingCharacterIndex_ = 0;
    rawText_ = serialize(timelineBlocks_);
    commitTimelineEdit(PresentationEventSource::manualPrompt);
    return true;
}

void PromptScript::moveBlock(qint64 from, qint64 to)
{
    if (!isSectionIndex(from) || !isSectionIndex(to) || from == to)
        return;
    // Where the element that stood at `index` ends up; the current and completed sections follow their blocks.
    const auto movedIndex = [from, to](qint64 index) {
        if (index == from)
            return to;
        if (from < to && index > from && index <= to)
            return index - 1;
        if (from > to && index >= to && index < from)
            return index + 1;
        return index;
    };
    const auto f = static_cast<std::size_t>(from);
    const auto t = static_cast<std::size_t>(to);
    moveElement(timelineBlocks_, f, t);
    sections_.move(static_cast<qsizetype>(from), static_cast<qsizetype>(to));
    moveElement(slideMappings_, f, t);
    moveElement(slideMappingReviews_, f, t);
    moveElement(speechProgress_, f, t);

    if (isSectionIndex(currentIndex_))
        currentIndex_ = movedIndex(currentIndex_);
    std::set<qint64> completed;
    for (qint64 index : completedSections_)
        if (isSectionIndex(index))
            completed.insert(movedIndex(index));
    completedSections_ = std::move(completed);
    readingCharacterIndex_ = 0;
    rawText_ = serialize(timelineBlocks_);
    commitTimelineEdit(PresentationEventSource::manualPrompt);
}

void PromptScript::deleteTimeline()
{
    if (timelineBlocks_.empty())
        return;
    timelineBlocks_.clear();
    sections_.clear();
    slideMappings_.clear();
    slideMappingReviews_.clear();
    speechProgress_.clear();
    completedSections_.clear();
    rawText_.clear();
    currentIndex_ = 0;
    readingCharacterIndex_ = 0;
    commitTimelineEdit(PresentationEventSource::system);
}

} // namespace quorvia
