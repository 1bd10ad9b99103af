#pragma once

#include "model/CloudSlideSuggestion.h"
#include "model/KeynotePresenterNotesBackup.h"
#include "model/PresentationDeck.h"
#include "model/PresentationEventSource.h"
#include "model/PresentationProjectSummary.h"
#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupError.h"
#include "model/PromptMode.h"
#include "model/PromptScriptNotifications.h"
#include "model/ProjectNameSet.h"
#include "model/PromptTimelineBlock.h"
#include "model/ScriptText.h"
#include "model/SlideMappingReview.h"
#include "model/StoredProject.h"
#include "model/StoredStateEncoder.h"

#include <QString>
#include <QVariant>
#include <QStringList>
#include <QUuid>

#include <expected>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

struct StoredState;

// The one model object: every presentation project, the active one copied into
// working fields. Every change is stored before it is announced, so an observer
// always finds it saved. Main thread only.
class PromptScript {
public:
    // Defaults keys.
    static inline const QString projectsKey = QStringLiteral("presentation.projects.v1");
    static inline const QString legacyScriptKey = QStringLiteral("presentation.promptScript");
    // Where stored project data that cannot be used is kept before the first save writes over the key.
    static inline const QString unreadableProjectsKey = QStringLiteral("presentation.projects.v1.unreadable");

    // Loads, normalises and saves once; posts nothing.
    explicit PromptScript(platform::DefaultsStore& defaults);
    // Over the platform's standard defaults store.
    PromptScript();

    PromptScript(const PromptScript&) = delete;
    PromptScript& operator=(const PromptScript&) = delete;

    // Script text conversions.
    static ParsedScript parseScript(const QString& text) { return ScriptText::parseScript(text); }
    static QString serialize(const std::vector<PromptTimelineBlock>& blocks) { return ScriptText::serialize(blocks); }
    static ParsedScript migrateStoredScript(const QString& text) { return ScriptText::migrateStoredScript(text); }
    static QStringList makeSections(const QString& text) { return ScriptText::makeSections(text); }
    static std::vector<std::optional<qint64>> slideMappings(const std::vector<PromptTimelineBlock>& blocks)
    {
        return ScriptText::slideMappings(blocks);
    }
    // At least 1, and at most the slide count when a deck is bound.
    static bool isValidSlideNumber(qint64 number, std::optional<qint64> slideCount);

    // Working fields of the active project.
    const QUuid& activeProjectID() const { return activeProjectID_; }
    const QString& rawText() const { return rawText_; }
    const std::vector<PromptTimelineBlock>& timelineBlocks() const { return timelineBlocks_; }
    const QStringList& sections() const { return sections_; }
    qint64 currentIndex() const { return currentIndex_; }
    const std::optional<PresentationDeck>& deck() const { return deck_; }
    const std::vector<std::optional<qint64>>& slideMappings() const { return slideMappings_; }
    const std::vector<std::optional<SlideMappingReview>>& slideMappingReviews() const { return slideMappingReviews_; }
    PromptMode promptMode() const { return promptMode_; }
    const std::vector<qint64>& speechProgress() const { return speechProgress_; }
    const std::set<qint64>& completedSections() const { return completedSections_; }
    qint64 readingCharacterIndex() const { return readingCharacterIndex_; }
    const std::optional<KeynotePresenterNotesBackup>& keynoteNotesBackup() const { return keynoteNotesBackup_; }

    // Derived views.
    std::optional<PromptTimelineBlock> currentBlock() const;
    QString currentText() const;
    QString positionText() const;
    bool hasContent() const { return !timelineBlocks_.empty(); }
    bool hasSlideBlocks() const;
    bool canMovePrevious() const { return currentIndex_ > 0; }
    bool canMoveNext() const { return currentIndex_ + 1 < sectionCount(); }
    QString activeProjectName() const;

    // Navigation, reading mode and progress.
    void movePrevious(PresentationEventSource source = PresentationEventSource::manualPrompt);
    void moveNext(PresentationEventSource source = PresentationEventSource::manualPrompt);
    void setIndex(qint64 index, PresentationEventSource source = PresentationEventSource::fixedScroll);
    void setPromptMode(PromptMode mode);
    qint64 spokenCharacterOffset(qint64 sectionIndex) const;
    // Offsets are UTF-16 code units and only ever rise; only a final result is saved.
    void setSpeechProgress(qint64 offset, qint64 sectionIndex, bool isFinal);
    void markSectionCompleted(qint64 sectionIndex);
    void resetAutomationProgress();
    void setReadingCharacterIndex(qint64 index);

    // Timeline editing.
    void replaceText(const QString& text);
    std::optional<QUuid> addDemoBlock(const QString& label, const QString& text, std::optional<qint64> after = std::nullopt);
    bool updateBlock(const QUuid& id, const QString& label, const QString& text);
    // The script limit that storing `label` and `text` (both trimmed) in the
    // block `id`, or in a new block when none, would go beyond; both edits
    // refuse such a change.
    std::optional<ScriptText::SizeLimit> exceededLimit(const std::optional<QUuid>& id, const QString& label,
                                                       const QString& text) const;
    void moveBlock(qint64 from, qint64 to);
    void deleteTimeline();
    bool canUseTimelineLabel(const QString& label, const std::optional<QUuid>& excluding = std::nullopt) const;

    // Deck, slide mappings and reviews.
    void replaceDeck(const PresentationDeck& deck);
    void setSlideMapping(qint64 sectionIndex, std::optional<qint64> slideNumber);
    std::optional<qint64> slideNumber(qint64 sectionIndex) const;
    std::optional<SlideMappingReview> slideMappingReview(qint64 sectionIndex) const;
    void applyCloudMappingSuggestions(const std::vector<CloudSlideSuggestion>& suggestions);
    // Editing slide mappings is switched off.
    bool canEditSlideMappings() const { return false; }
    QString deckStatusText() const;

    // Project list.
    std::vector<PresentationProjectSummary> projectSummaries() const;
    bool canDeleteActiveProject() const { return projects_.size() > 1; }
    QUuid createProject(const QString& name);
    void renameActiveProject(const QString& name);
    // `relocatedDeckPath`: a copy of the active deck's document already made by the caller.
    std::optional<QUuid> duplicateActiveProject(const std::optional<QString>& relocatedDeckPath = std::nullopt);
    void selectProject(const QUuid& id);
    bool deleteActiveProject();

    // Presenter-notes backup.
    bool mergeKeynoteNotesBackup(const KeynotePresenterNotesBackup& backup);
    void clearKeynoteNotesBackup();

    // Backup packages. The record of every project, after storing the working
    // fields; each deckAssetPath is left for the export to fill in.
    PresentationProjectsBackup makeProjectsBackup();
    // Adds the backup's projects under new ids and activates the counterpart of
    // its active project; answers how many were added. Fails only before any change.
    std::expected<qint64, ProjectBackupError> importProjectsBackup(const PresentationProjectsBackup& backup);
    // The documents the projects stored in `defaults` name, decks and notes
    // alike, when `defaults` are the settings kept at `location` with that
    // `identity` (an earlier build's record names none: the location alone)
    // and every value of them was read; nothing when they cannot tell: other
    // settings or the same elsewhere, ones read in part, or projects an
    // earlier start could not read kept aside.
    static std::optional<QStringList> storedDocumentPaths(const platform::DefaultsStore& defaults, const QString& location,
                                                          const QString& identity);

private:
    // Loading and saving.
    StoredState loadState();
    void preserveUnusableProjects(const QByteArray& data);
    static QByteArray bytesOfUnexpectedValue(const QVariant& value);
    void load(const StoredProject& record);
    void loadActiveProject();
    void updateActiveSnapshot();
    void persist();
    // Snapshot, then persist.
    void save();
    void notifyChanged(PresentationEventSource source);
    void notifyDeckChanged();
    void notifyProjectsChanged();
    void notifyNotesBackupChanged();
    void notifyModeChanged();
    // Snapshot, save, then announce the change with its source and the deck.
    void commitTimelineEdit(PresentationEventSource source);
    // Save, then Projects, Changed(system), Deck.
    void finishProjectSwitch();
    // Clears the current section's speech progress and stores the working fields.
    void leaveActiveProject();

    // Normalisation rules.
    static qint64 clampedIndex(qint64 index, qint64 sectionCount);
    static std::vector<std::optional<qint64>> normalizedMappings(const std::vector<std::optional<qint64>>& mappings, qint64 sectionCount,
                                                                 std::optional<qint64> slideCount);
    static std::vector<std::optional<SlideMappingReview>> normalizedReviews(const std::vector<std::optional<SlideMappingReview>>& reviews,
                                                                            qint64 sectionCount, std::optional<qint64> slideCount);
    static std::vector<std::optional<SlideMappingReview>> mergedReviews(const std::vector<std::optional<SlideMappingReview>>& base,
                                                                        const std::vector<std::optional<qint64>>& explicitMappings,
                                                                        bool overrideExisting, qint64 sectionCount,
                                                                        std::optional<qint64> slideCount);
    static std::set<qint64> normalizedCompletedSections(const std::vector<qint64>& completed, qint64 sectionCount);
    static qint64 normalizedReadingIndex(qint64 index, const QString& text);

    static QString normalizedName(const QString& name);
    ProjectNameSet takenProjectNames() const;
    // A name no project has, compared without regard to case and diacritics;
    // `taken` is the set of names so far, and takes this one.
    static QString uniqueProjectName(const QString& name, const QString& suffix, ProjectNameSet& taken);
    std::optional<std::size_t> activeProjectArrayIndex() const;
    StoredProject* activeRecord();
    const StoredProject* activeRecord() const;

    void resetSpeechProgressForCurrentBlock();
    // Leaves the current section for `index`: its speech progress and the reading position restart; saves, announces.
    void enterSection(qint64 index, PresentationEventSource source);
    std::set<qint64> shiftedCompletedSections(qint64 insertionIndex) const;
    std::optional<qint64> deckSlideCount() const;
    qint64 sectionCount() const { return static_cast<qint64>(timelineBlocks_.size()); }
    bool isSectionIndex(qint64 index) const { return index >= 0 && index < sectionCount(); }

    platform::DefaultsStore& defaults_;
    std::vector<StoredProject> projects_;
    // Shared with the saves the store has yet to make, off the main thread.
    std::shared_ptr<StoredStateEncoder> encoder_ = std::make_shared<StoredStateEncoder>();
    QUuid savedActiveProjectID_;
    quint64 projectSwitches_ = 0;
    QUuid activeProjectID_;
    QString rawText_;
    std::vector<PromptTimelineBlock> timelineBlocks_;
    QStringList sections_;
    qint64 currentIndex_ = 0;
    std::optional<PresentationDeck> deck_;
    std::vector<std::optional<qint64>> slideMappings_;
    std::vector<std::optional<SlideMappingReview>> slideMappingReviews_;
    PromptMode promptMode_ = PromptMode::fixedScroll;
    std::vector<qint64> speechProgress_;
    std::set<qint64> completedSections_;
    qint64 readingCharacterIndex_ = 0;
    std::optional<KeynotePresenterNotesBackup> keynoteNotesBackup_;
};

} // namespace quorvia
