#include "model/PromptScript.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quorvia {

void PromptScript::replaceDeck(const PresentationDeck& deck)
{
    deck_ = deck;
    // A non-finite time has no JSON form; it is stored as unreadable, 0.
    if (!std::isfinite(deck_->modificationTime))
        deck_->modificationTime = 0;
    slideMappings_ = normalizedMappings(slideMappings(timelineBlocks_), sectionCount(), deck_->slideCount());
    slideMappingReviews_.clear();
    for (const auto& mapping : slideMappings_)
        slideMappingReviews_.push_back(mapping ? std::optional(SlideMappingReview::manual) : std::nullopt);
    save();
    notifyDeckChanged();
}

void PromptScript::setSlideMapping(qint64 sectionIndex, std::optional<qint64> slideNumber)
{
    if (!isSectionIndex(sectionIndex) || !slideNumber || *slideNumber < 1)
        return;
    const PromptTimelineBlock block = timelineBlocks_[static_cast<std::size_t>(sectionIndex)];
    updateBlock(block.id, QString::number(*slideNumber), block.text);
}

std::optional<qint64> PromptScript::slideNumber(qint64 sectionIndex) const
{
    if (sectionIndex < 0 || sectionIndex >= static_cast<qint64>(slideMappings_.size()))
        return std::nullopt;
    return slideMappings_[static_cast<std::size_t>(sectionIndex)];
}

std::optional<SlideMappingReview> PromptScript::slideMappingReview(qint64 sectionIndex) const
{
    if (sectionIndex < 0 || sectionIndex >= static_cast<qint64>(slideMappingReviews_.size()))
        return std::nullopt;
    return slideMappingReviews_[static_cast<std::size_t>(sectionIndex)];
}

void PromptScript::applyCloudMappingSuggestions(const std::vector<CloudSlideSuggestion>& suggestions)
{
    if (!deck_)
        return;
    const qint64 slideCount = deck_->slideCount();
    std::map<qint64, CloudSlideSuggestion> accepted;
    for (const auto& suggestion : suggestions)
        if (isSectionIndex(suggestion.sectionIndex) && suggestion.slideNumber >= 1 && suggestion.slideNumber <= slideCount)
            accepted.insert_or_assign(suggestion.sectionIndex, suggestion);
    for (const auto& [section, suggestion] : accepted) {
        // An unknown confidence counts as none at all, so it asks for review.
        const double confidence = std::isnan(suggestion.confidence) ? 0.0 : std::clamp(suggestion.confidence, 0.0, 1.0);
        slideMappingReviews_[static_cast<std::size_t>(section)] =
            SlideMappingReview{suggestion.slideNumber, confidence, confidence < CloudSlideSuggestion::reviewThreshold,
                               SlideMappingReview::Origin::cloudAI};
    }
    save();
    notifyDeckChanged();
}

QString PromptScript::deckStatusText() const
{
    if (!deck_)
        return QStringLiteral("尚未导入 .key 文稿");
    const auto mapped = std::count_if(slideMappings_.begin(), slideMappings_.end(), [](const auto& m) { return m.has_value(); });
    return deck_->fileName + QStringLiteral(" · ") + QString::number(deck_->slideCount()) + QStringLiteral(" 页 · 已映射 ")
        + QString::number(mapped) + QStringLiteral(" 段");
}

} // namespace quorvia
