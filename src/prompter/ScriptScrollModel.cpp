#include "prompter/ScriptScrollModel.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/core/NotificationCenter.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace quorvia {

ScriptScrollModel::ScriptScrollModel(ScriptLayout& layout) : layout_(layout), fontSize_(storedFontSize()) {}

ScriptScrollModel::~ScriptScrollModel()
{
    *alive_ = false;
    stopSpeechTracking();
}

double ScriptScrollModel::clampFontSize(double size) { return std::min(std::max(size, minimumFontSize), maximumFontSize); }

double ScriptScrollModel::storedFontSize()
{
    const double stored = platform::current().defaults().doubleValue(fontSizeDefaultsKey);
    return clampFontSize(stored == 0 ? defaultFontSize : stored);
}

// MARK: Content

void ScriptScrollModel::setSections(const QStringList& sections, int highlight, const std::vector<int>& spokenProgress)
{
    stopSpeechTracking();
    sections_ = sections;
    spoken_.assign(static_cast<std::size_t>(sections.size()), 0);
    for (std::size_t i = 0; i < spoken_.size() && i < spokenProgress.size(); ++i)
        spoken_[i] = std::max(spokenProgress[i], 0);
    const int count = static_cast<int>(sections.size());
    highlighted_ = std::max(std::min(highlight, std::max(count - 1, 0)), 0);
    rebuildText();
    applyScroll(highlighted_);
}

void ScriptScrollModel::rebuildText()
{
    isRebuilding_ = true;
    documents_.clear();
    ranges_.clear();
    displayText_.clear();
    for (qsizetype i = 0; i < sections_.size(); ++i) {
        documents_.push_back(MarkdownPromptDocument::render(sections_[i]));
        const int start = static_cast<int>(displayText_.size());
        displayText_ += documents_.back().string();
        ranges_.push_back({start, static_cast<int>(documents_.back().string().size())});
        if (i + 1 < sections_.size())
            displayText_ += QStringLiteral("\n\n");
    }
    if (onRebuild)
        onRebuild();
    isRebuilding_ = false;
    applyHighlight();
    recomputeSectionTops();
}

void ScriptScrollModel::applyHighlight()
{
    if (onHighlightChanged)
        onHighlightChanged();
}

std::optional<ScriptScrollModel::Range> ScriptScrollModel::highlightedRange() const
{
    if (highlighted_ < 0 || highlighted_ >= static_cast<int>(ranges_.size()))
        return std::nullopt;
    return ranges_[static_cast<std::size_t>(highlighted_)];
}

std::optional<ScriptScrollModel::Range> ScriptScrollModel::spokenRange() const
{
    const auto range = highlightedRange();
    if (!range || highlighted_ >= static_cast<int>(spoken_.size()))
        return std::nullopt;
    const auto index = static_cast<std::size_t>(highlighted_);
    const int raw = spoken_[index];
    const int rendered = index < documents_.size() ? documents_[index].renderedOffset(raw) : raw;
    const int length = std::min(range->length, rendered);
    if (length <= 0)
        return std::nullopt;
    return Range{range->location, length};
}

void ScriptScrollModel::setSpokenProgress(int rawOffset, int sectionIndex)
{
    if (sectionIndex < 0 || sectionIndex >= sections_.size())
        return;
    if (spoken_.size() != static_cast<std::size_t>(sections_.size()))
        spoken_.assign(static_cast<std::size_t>(sections_.size()), 0);
    const int clamped = std::min(std::max(rawOffset, 0), static_cast<int>(sections_[sectionIndex].size()));
    auto& stored = spoken_[static_cast<std::size_t>(sectionIndex)];
    if (stored == clamped)
        return;
    stored = clamped;
    applyHighlight();
    if (sectionIndex == highlighted_)
        trackSpokenProgress(clamped);
}

// MARK: Font size

void ScriptScrollModel::setFontSize(double size)
{
    const double clamped = clampFontSize(size);
    if (std::abs(clamped - fontSize_) <= 0.5)
        return;
    const int index = readingCharacterIndex();
    fontSize_ = clamped;
    platform::current().defaults().setDouble(fontSizeDefaultsKey, clamped);
    rebuildText();
    restoreReading(index);
    platform::NotificationCenter::defaultCenter().post(fontSizeChangedNotification, notificationSender);
}

// MARK: Scrolling

double ScriptScrollModel::maximumOffset() const { return std::max(0.0, layout_.documentHeight() - layout_.visibleHeight()); }

void ScriptScrollModel::setOffset(double offset)
{
    const double c = std::min(std::max(offset, 0.0), maximumOffset());
    currentOffset_ = c;
    scrolledOffset_ = c;
    if (onScrolled)
        onScrolled();
}

void ScriptScrollModel::scrollByUser(double delta)
{
    scrolledOffset_ = std::min(std::max(scrolledOffset_ + delta, 0.0), maximumOffset());
    if (onScrolled)
        onScrolled();
}

void ScriptScrollModel::adoptScrolledOffset()
{
    if (std::abs(scrolledOffset_ - currentOffset_) > 1)
        currentOffset_ = scrolledOffset_;
}

void ScriptScrollModel::applyScroll(int index)
{
    if (index >= 0 && index < static_cast<int>(tops_.size())) {
        highlighted_ = index;
        applyHighlight();
        setOffset(tops_[static_cast<std::size_t>(index)] - readingLineInView());
    } else {
        setOffset(0);
    }
}

void ScriptScrollModel::scrollToSection(int index)
{
    if (index != highlighted_)
        applyScroll(index);
}

void ScriptScrollModel::layoutChanged()
{
    if (!isRebuilding_)
        recomputeSectionTops();
}

void ScriptScrollModel::recomputeSectionTops()
{
    tops_.clear();
    for (const auto& range : ranges_) {
        double top = 0;
        if (range.length >= 1) {
            if (const auto box = layout_.rangeBox(range.location, range.length))
                top = box->top + layout_.insetHeight();
        }
        tops_.push_back(top);
    }
}

void ScriptScrollModel::syncSectionToOffset()
{
    if (tops_.empty())
        return;
    const double y = currentOffset_ + readingLineInView();
    int index = 0;
    for (std::size_t i = 0; i < tops_.size(); ++i)
        if (tops_[i] <= y + 1)
            index = static_cast<int>(i);
    if (index != highlighted_) {
        highlighted_ = index;
        applyHighlight();
        if (onSectionChanged)
            onSectionChanged(index);
    }
}

void ScriptScrollModel::advance(double seconds, int charactersPerMinute)
{
    adoptScrolledOffset();
    const int n = layout_.characterCount();
    const double h = layout_.documentHeight();
    if (n <= 0 || h <= 0)
        return;
    const double delta = (charactersPerMinute / 60.0) * (h / n) * seconds;
    const double end = maximumOffset();
    setOffset(currentOffset_ + delta);
    syncSectionToOffset();
    if (currentOffset_ >= end - 0.5 && onReachedEnd)
        onReachedEnd();
}

double ScriptScrollModel::progressFraction() const
{
    const double m = maximumOffset();
    if (m <= 0)
        return sections_.isEmpty() ? 0.0 : 1.0;
    return std::min(std::max(scrolledOffset_ / m, 0.0), 1.0);
}

// MARK: Reading position

int ScriptScrollModel::readingCharacterIndex()
{
    if (layout_.textLength() == 0)
        return 0;
    // Without the section sync: only a timed advance may change the section.
    adoptScrolledOffset();
    const double y = std::max(0.0, currentOffset_ + readingLineInView() - layout_.insetHeight());
    const int c = layout_.characterAt(y);
    const auto index = static_cast<std::size_t>(highlighted_);
    if (highlighted_ >= 0 && index < documents_.size() && index < ranges_.size()) {
        const Range range = ranges_[index];
        const int rendered = std::min(std::max(0, c - range.location), std::max(range.length - 1, 0));
        return documents_[index].rawOffset(rendered);
    }
    return c;
}

void ScriptScrollModel::restoreReading(int rawOffset)
{
    const auto index = static_cast<std::size_t>(highlighted_);
    if (highlighted_ < 0 || index >= documents_.size() || index >= ranges_.size())
        return;
    const int c = ranges_[index].location + documents_[index].renderedOffset(rawOffset);
    if (c <= 0 || c >= layout_.textLength())
        return;
    const auto box = layout_.rangeBox(c, 1);
    if (!box)
        return;
    setOffset(box->top + layout_.insetHeight() - readingLineInView());
    syncSectionToOffset();
}

// MARK: Speech tracking

void ScriptScrollModel::trackSpokenProgress(int rawOffset)
{
    if (rawOffset <= 0)
        return;
    const auto index = static_cast<std::size_t>(highlighted_);
    const int length = layout_.textLength();
    if (highlighted_ < 0 || index >= documents_.size() || index >= ranges_.size() || length == 0)
        return;
    const int rendered = documents_[index].renderedOffset(rawOffset);
    const int c = std::min(std::max(ranges_[index].location + rendered - 1, 0), length - 1);
    const auto box = layout_.rangeBox(c, 1);
    if (!box)
        return;
    double target = box->top + box->height / 2 + layout_.insetHeight() - readingLineInView();
    target = std::min(std::max(target, 0.0), maximumOffset());
    speechTarget_ = target;
    if (!speechTimer_) {
        std::weak_ptr<bool> alive = alive_;
        speechTimer_ = platform::Timer::scheduled(speechTrackingInterval, true, [this, alive] {
            if (auto a = alive.lock(); a && *a)
                advanceSpeechTracking();
        });
    }
}

void ScriptScrollModel::advanceSpeechTracking()
{
    if (!speechTarget_) {
        stopSpeechTracking();
        return;
    }
    adoptScrolledOffset();
    const double target = *speechTarget_;
    const double d = target - currentOffset_;
    if (std::abs(d) <= 0.5) {
        setOffset(target);
        stopSpeechTracking();
        return;
    }
    const double step = std::min(std::max(std::abs(d) * 0.16, 0.8), std::max(3.0, fontSize_ * 0.36));
    setOffset(d >= 0 ? currentOffset_ + step : currentOffset_ - step);
}

void ScriptScrollModel::stopSpeechTracking()
{
    if (speechTimer_)
        speechTimer_->invalidate();
    speechTimer_.reset();
    speechTarget_.reset();
}

} // namespace quorvia
