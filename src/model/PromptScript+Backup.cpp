#include "model/PromptScript.h"

#include "platform/MainQueue.h"
#include "platform/Uuid.h"

#include <QDateTime>

#include <map>

namespace quorvia {

PresentationProjectsBackup PromptScript::makeProjectsBackup()
{
    updateActiveSnapshot();

    PresentationProjectsBackup backup;
    backup.formatVersion = PresentationProjectsBackup::currentFormatVersion;
    const QDateTime now = platform::currentDate().toUTC();
    backup.exportedAt = now.addMSecs(-now.time().msec());
    backup.activeProjectID = activeProjectID_;
    backup.projects.reserve(projects_.size());
    for (const StoredProject& record : projects_) {
        PresentationProjectsBackup::Project project;
        project.id = record.id;
        project.name = record.name;
        project.rawText = record.rawText;
        // Records from older versions lack some fields; derive them as loading would.
        project.timelineBlocks = record.timelineBlocks ? *record.timelineBlocks : migrateStoredScript(record.rawText).blocks;
        project.currentIndex = record.currentIndex;
        project.deck = record.deck;
        project.slideMappings = record.slideMappings ? *record.slideMappings : slideMappings(project.timelineBlocks);
        project.slideMappingReviews = record.slideMappingReviews.value_or(std::vector<std::optional<SlideMappingReview>>{});
        project.promptMode = record.promptMode.value_or(PromptMode::fixedScroll);
        project.speechProgress = record.speechProgress.value_or(std::vector<qint64>{});
        project.completedSections = record.completedSections.value_or(std::vector<qint64>{});
        project.readingCharacterIndex = record.readingCharacterIndex.value_or(0);
        project.keynoteNotesBackup = record.keynoteNotesBackup;
        backup.projects.push_back(std::move(project));
    }
    return backup;
}

std::expected<qint64, ProjectBackupError> PromptScript::importProjectsBackup(const PresentationProjectsBackup& backup)
{
    if (backup.formatVersion != PresentationProjectsBackup::currentFormatVersion)
        return std::unexpected(ProjectBackupError::unsupportedVersion(backup.formatVersion));
    if (backup.projects.empty())
        return std::unexpected(ProjectBackupError::emptyBackup());

    leaveActiveProject();
    std::map<QUuid, QUuid> newIds;
    std::optional<QUuid> firstNewId;
    for (const auto& project : backup.projects) {
        StoredProject record;
        record.id = platform::newUuid();
        newIds[project.id] = record.id;
        if (!firstNewId)
            firstNewId = record.id;
        // Earlier projects of this import already count as taken.
        record.name = uniqueProjectName(project.name, QStringLiteral("（导入）"));
        record.rawText = project.rawText;
        record.timelineBlocks = project.timelineBlocks;
        record.currentIndex = project.currentIndex;
        record.deck = project.deck;
        record.slideMappings = project.slideMappings;
        record.slideMappingReviews = project.slideMappingReviews;
        record.promptMode = project.promptMode;
        record.speechProgress = project.speechProgress;
        record.completedSections = project.completedSections;
        record.readingCharacterIndex = project.readingCharacterIndex;
        record.keynoteNotesBackup = project.keynoteNotesBackup;
        projects_.push_back(std::move(record));
    }
    const auto active = newIds.find(backup.activeProjectID);
    activeProjectID_ = active != newIds.end() ? active->second : *firstNewId;
    loadActiveProject();
    finishProjectSwitch();
    return static_cast<qint64>(backup.projects.size());
}

} // namespace quorvia
