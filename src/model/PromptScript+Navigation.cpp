#include "model/PromptScript.h"

#include "platform/core/Text.h"

#include <algorithm>

namespace quorvia {

std::optional<PromptTimelineBlock> PromptScript::currentBlock() const
{
    if (!isSectionIndex(currentIndex_))
        return std::nullopt;
    return timelineBlocks_[static_cast<std::size_t>(currentIndex_)];
}

QString PromptScript::currentText() const
{
    const auto block = currentBlock();
    if (!block)
        return QStringLiteral("尚未导入稿件，请点击“上传稿件”选择 TXT 或 Markdown 文件。");
    if (block->text.isEmpty())
        return QStringLiteral("当前块 ") + block->label + QStringLiteral(" 尚未填写稿件。");
    return block->text;
}

QString PromptScript::positionText() const
{
    if (timelineBlocks_.empty())
        return QStringLiteral("稿件 0 / 0");
    const auto block = currentBlock();
    return QStringLiteral("块 ") + QString::number(currentIndex_ + 1) + QStringLiteral(" / ") + QString::number(sectionCount())
        + QStringLiteral(" · ") + (block ? block->label : QString());
}

bool PromptScript::hasSlideBlocks() const
{
    return std::any_of(timelineBlocks_.begin(), timelineBlocks_.end(), [](const PromptTimelineBlock& b) { return b.kind().isSlide(); });
}

QString PromptScript::activeProjectName() const
{
    const StoredProject* record = activeRecord();
    return record ? record->name : QStringLiteral("未命名演讲");
}

void PromptScript::resetSpeechProgressForCurrentBlock()
{
    if (currentIndex_ >= 0 && currentIndex_ < static_cast<qint64>(speechProgress_.size()))
        speechProgress_[static_cast<std::size_t>(currentIndex_)] = 0;
}

void PromptScript::movePrevious(PresentationEventSource source)
{
    if (!canMovePrevious())
        return;
    enterSection(currentIndex_ - 1, source);
}

void PromptScript::moveNext(PresentationEventSource source)
{
    if (!canMoveNext())
        return;
    completedSections_.insert(currentIndex_);
    enterSection(currentIndex_ + 1, source);
}

void PromptScript::setIndex(qint64 index, PresentationEventSource source)
{
    if (!isSectionIndex(index) || index == currentIndex_)
        return;
    if (index > currentIndex_)
        completedSections_.insert(currentIndex_);
    enterSection(index, source);
}

void PromptScript::enterSection(qint64 index, PresentationEventSource source)
{
    resetSpeechProgressForCurrentBlock();
    currentIndex_ = index;
    readingCharacterIndex_ = 0;
    save();
    notifyChanged(source);
}

void PromptScript::setPromptMode(PromptMode mode)
{
    if (mode == promptMode_)
        return;
    promptMode_ = mode;
    save();
    notifyModeChanged();
}

qint64 PromptScript::spokenCharacterOffset(qint64 sectionIndex) const
{
    if (sectionIndex < 0 || sectionIndex >= static_cast<qint64>(speechProgress_.size()))
        return 0;
    return speechProgress_[static_cast<std::size_t>(sectionIndex)];
}

void PromptScript::setSpeechProgress(qint64 offset, qint64 sectionIndex, bool isFinal)
{
    if (!isSectionIndex(sectionIndex))
        return;
    const auto index = static_cast<std::size_t>(sectionIndex);
    const qint64 clamped = std::clamp<qint64>(offset, 0, platform::text::utf16Length(sections_[static_cast<qsizetype>(index)]));
    if (clamped <= speechProgress_[index])
        return;
    speechProgress_[index] = clamped;
    if (isFinal) {
        save();
    }
    notifyChanged(PresentationEventSource::speech);
}

void PromptScript::markSectionCompleted(qint64 sectionIndex)
{
    if (!isSectionIndex(sectionIndex) || completedSections_.contains(sectionIndex))
        return;
    completedSections_.insert(sectionIndex);
    save();
}

void PromptScript::resetAutomationProgress()
{
    speechProgress_.assign(timelineBlocks_.size(), 0);
    completedSections_.clear();
    save();
    notifyChanged(PresentationEventSource::recovery);
}

void PromptScript::setReadingCharacterIndex(qint64 index)
{
    const qint64 clamped = std::clamp<qint64>(index, 0, platform::text::utf16Length(currentText()));
    if (clamped == readingCharacterIndex_)
        return;
    readingCharacterIndex_ = clamped;
    save();
}

} // namespace quorvia
