#include "model/PromptScript.h"

#include "model/StoredState.h"
#include "platform/settings/DefaultsStore.h"
#include "platform/core/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/core/Text.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace quorvia {

PromptScript::PromptScript(platform::DefaultsStore& defaults) : defaults_(defaults)
{
    StoredState state = loadState();
    projects_ = std::move(state.projects);
    const auto active = std::find_if(projects_.begin(), projects_.end(), [&](const StoredProject& p) { return p.id == state.activeProjectID; });
    const StoredProject& record = active != projects_.end() ? *active : projects_.front();
    activeProjectID_ = record.id;
    load(record);
    save();
}

PromptScript::PromptScript() : PromptScript(platform::current().defaults()) {}

// MARK: Loading

StoredState PromptScript::loadState()
{
    if (const auto data = defaults_.data(projectsKey)) {
        auto state = StoredState::fromJson(*data);
        if (state && !state->projects.empty())
            return std::move(*state);
        // The fallback below is saved over the key at once; keep what could not be used.
        preserveUnusableProjects(*data);
    } else if (const auto other = defaults_.value(projectsKey)) {
        // A value of another kind is no more absent than undecodable bytes.
        preserveUnusableProjects(bytesOfUnexpectedValue(*other));
    }
    // No block list, so that loading migrates the legacy text.
    StoredProject fallback = StoredProject::newRecord(QStringLiteral("默认演讲"), defaults_.string(legacyScriptKey).value_or(QString()));
    StoredState state;
    state.activeProjectID = fallback.id;
    state.projects.push_back(std::move(fallback));
    return state;
}

QByteArray PromptScript::bytesOfUnexpectedValue(const QVariant& value)
{
    // An earlier settings file splits a text at its commas into a list; joined
    // again it is the text that was written.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',').toUtf8();
    if (value.canConvert<QString>() && !value.toString().isEmpty())
        return value.toString().toUtf8();
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value;
    return bytes;
}

void PromptScript::preserveUnusableProjects(const QByteArray& data)
{
    // Never write over an earlier kept copy, nor over anything else a side key holds.
    for (int n = 1;; ++n) {
        const QString key = n == 1 ? unreadableProjectsKey : unreadableProjectsKey + u'.' + QString::number(n);
        if (!defaults_.contains(key)) {
            defaults_.setData(key, data);
            return;
        }
        if (defaults_.data(key) == data)
            return;
    }
}

void PromptScript::load(const StoredProject& record)
{
    timelineBlocks_ = record.timelineBlocks ? *record.timelineBlocks : migrateStoredScript(record.rawText).blocks;
    rawText_ = record.timelineBlocks ? serialize(timelineBlocks_) : record.rawText;
    sections_ = ScriptText::sections(timelineBlocks_);
    const qint64 count = sectionCount();
    currentIndex_ = clampedIndex(record.currentIndex, count);
    deck_ = record.deck;
    const std::optional<qint64> slideCount = deckSlideCount();
    const auto explicitMappings = slideMappings(timelineBlocks_);
    slideMappings_ = normalizedMappings(explicitMappings, count, slideCount);
    auto storedReviews = record.slideMappingReviews.value_or(std::vector<std::optional<SlideMappingReview>>{});
    if (static_cast<qint64>(storedReviews.size()) != count)
        storedReviews.clear();
    slideMappingReviews_ = mergedReviews(storedReviews, explicitMappings, false, count, slideCount);
    promptMode_ = record.promptMode.value_or(PromptMode::fixedScroll);
    speechProgress_.assign(static_cast<std::size_t>(count), 0);
    completedSections_ = normalizedCompletedSections(record.completedSections.value_or(std::vector<qint64>{}), count);
    readingCharacterIndex_ = normalizedReadingIndex(record.readingCharacterIndex.value_or(0), record.rawText);
    keynoteNotesBackup_ = record.keynoteNotesBackup;
}

void PromptScript::loadActiveProject()
{
    StoredProject* record = activeRecord();
    if (!record)
        return;
    load(*record);
    record->currentIndex = currentIndex_;
    record->timelineBlocks = timelineBlocks_;
    record->slideMappings = slideMappings_;
    record->slideMappingReviews = slideMappingReviews_;
    record->speechProgress = speechProgress_;
    record->completedSections = std::vector<qint64>(completedSections_.begin(), completedSections_.end());
    record->readingCharacterIndex = readingCharacterIndex_;
}

// MARK: Saving and announcing

void PromptScript::updateActiveSnapshot()
{
    StoredProject* record = activeRecord();
    if (!record)
        return;
    record->rawText = rawText_;
    record->timelineBlocks = timelineBlocks_;
    record->currentIndex = currentIndex_;
    record->deck = deck_;
    record->slideMappings = slideMappings_;
    record->slideMappingReviews = slideMappingReviews_;
    record->promptMode = promptMode_;
    record->speechProgress = speechProgress_;
    record->completedSections = std::vector<qint64>(completedSections_.begin(), completedSections_.end());
    record->readingCharacterIndex = readingCharacterIndex_;
    record->keynoteNotesBackup = keynoteNotesBackup_;
}

void PromptScript::persist()
{
    if (activeProjectID_ != savedActiveProjectID_) {
        savedActiveProjectID_ = activeProjectID_;
        ++projectSwitches_;
    }
    // A large project takes long to encode: the store does it from this copy,
    // off the main thread where it can. Copies of the texts share their bytes.
    auto projects = std::make_shared<const std::vector<StoredProject>>(projects_);
    defaults_.setDeferredData(projectsKey, [encoder = encoder_, active = activeProjectID_, projects, switches = projectSwitches_] {
        return encoder->encode(active, *projects, switches);
    });
    defaults_.setString(legacyScriptKey, rawText_);
}

void PromptScript::save()
{
    updateActiveSnapshot();
    persist();
}

void PromptScript::notifyChanged(PresentationEventSource source)
{
    platform::NotificationCenter::defaultCenter().post(NotificationName::promptScriptChanged, this,
                                                       {{PromptScriptNotificationKey::eventSource, rawValue(source)}});
}

void PromptScript::notifyDeckChanged() { platform::NotificationCenter::defaultCenter().post(NotificationName::presentationDeckChanged, this); }

void PromptScript::notifyProjectsChanged()
{
    platform::NotificationCenter::defaultCenter().post(NotificationName::presentationProjectsChanged, this);
}

void PromptScript::notifyNotesBackupChanged()
{
    platform::NotificationCenter::defaultCenter().post(NotificationName::keynoteNotesBackupChanged, this);
}

void PromptScript::notifyModeChanged() { platform::NotificationCenter::defaultCenter().post(NotificationName::presentationModeChanged, this); }

void PromptScript::commitTimelineEdit(PresentationEventSource source)
{
    save();
    notifyChanged(source);
    notifyDeckChanged();
}

void PromptScript::finishProjectSwitch()
{
    persist();
    notifyProjectsChanged();
    notifyChanged(PresentationEventSource::system);
    notifyDeckChanged();
}

void PromptScript::leaveActiveProject()
{
    resetSpeechProgressForCurrentBlock();
    updateActiveSnapshot();
}

// MARK: Normalisation

bool PromptScript::isValidSlideNumber(qint64 number, std::optional<qint64> slideCount)
{
    return number >= 1 && (!slideCount || number <= *slideCount);
}

qint64 PromptScript::clampedIndex(qint64 index, qint64 sectionCount)
{
    if (sectionCount <= 0)
        return 0;
    return std::clamp<qint64>(index, 0, sectionCount - 1);
}

std::vector<std::optional<qint64>> PromptScript::normalizedMappings(const std::vector<std::optional<qint64>>& mappings, qint64 sectionCount,
                                                                    std::optional<qint64> slideCount)
{
    std::vector<std::optional<qint64>> out;
    for (qint64 i = 0; i < sectionCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index < mappings.size() && mappings[index] && isValidSlideNumber(*mappings[index], slideCount))
            out.push_back(mappings[index]);
        else
            out.push_back(std::nullopt);
    }
    return out;
}

std::vector<std::optional<SlideMappingReview>> PromptScript::normalizedReviews(const std::vector<std::optional<SlideMappingReview>>& reviews,
                                                                               qint64 sectionCount, std::optional<qint64> slideCount)
{
    std::vector<std::optional<SlideMappingReview>> out;
    for (qint64 i = 0; i < sectionCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index >= reviews.size() || !reviews[index]) {
            out.push_back(std::nullopt);
            continue;
        }
        SlideMappingReview review = *reviews[index];
        if (review.suggestedSlide && slideCount && (*review.suggestedSlide < 1 || *review.suggestedSlide > *slideCount)) {
            review.suggestedSlide.reset();
            review.requiresReview = true;
        }
        out.push_back(review);
    }
    return out;
}

std::vector<std::optional<SlideMappingReview>> PromptScript::mergedReviews(const std::vector<std::optional<SlideMappingReview>>& base,
                                                                           const std::vector<std::optional<qint64>>& explicitMappings,
                                                                           bool overrideExisting, qint64 sectionCount,
                                                                           std::optional<qint64> slideCount)
{
    auto out = normalizedReviews(base, sectionCount, slideCount);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i < explicitMappings.size() && explicitMappings[i] && isValidSlideNumber(*explicitMappings[i], slideCount)
            && (overrideExisting || !out[i]))
            out[i] = SlideMappingReview::manual;
    }
    return out;
}

std::set<qint64> PromptScript::normalizedCompletedSections(const std::vector<qint64>& completed, qint64 sectionCount)
{
    std::set<qint64> out;
    for (qint64 index : completed)
        if (index >= 0 && index < sectionCount)
            out.insert(index);
    return out;
}

qint64 PromptScript::normalizedReadingIndex(qint64 index, const QString& text)
{
    return std::clamp<qint64>(index, 0, platform::text::utf16Length(text));
}

std::optional<qint64> PromptScript::deckSlideCount() const
{
    if (!deck_)
        return std::nullopt;
    return deck_->slideCount();
}

// MARK: Active record

std::optional<std::size_t> PromptScript::activeProjectArrayIndex() const
{
    for (std::size_t i = 0; i < projects_.size(); ++i)
        if (projects_[i].id == activeProjectID_)
            return i;
    return std::nullopt;
}

StoredProject* PromptScript::activeRecord()
{
    const auto index = activeProjectArrayIndex();
    return index ? &projects_[*index] : nullptr;
}

const StoredProject* PromptScript::activeRecord() const
{
    const auto index = activeProjectArrayIndex();
    return index ? &projects_[*index] : nullptr;
}

} // namespace quorvia
