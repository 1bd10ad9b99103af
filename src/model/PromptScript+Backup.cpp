#include "model/PromptScript.h"

#include "model/ProjectBackupPackage.h"
#include "model/StoredState.h"

#include "platform/core/MainQueue.h"
#include "platform/core/Uuid.h"
#include "platform/settings/DefaultsStore.h"

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
    for (StoredProject record : projects_) {
        // Records from older versions lack some fields; derive them as loading would.
        if (!record.timelineBlocks)
            record.timelineBlocks = migrateStoredScript(record.rawText).blocks;
        if (!record.slideMappings)
            record.slideMappings = slideMappings(*record.timelineBlocks);
        backup.projects.push_back(PresentationProjectsBackup::Project::fromStoredProject(record));
    }
    return backup;
}

std::expected<qint64, ProjectBackupError> PromptScript::importProjectsBackup(const PresentationProjectsBackup& backup)
{
    if (backup.formatVersion != PresentationProjectsBackup::currentFormatVersion)
        return std::unexpected(ProjectBackupError::unsupportedVersion(backup.formatVersion));
    if (backup.projects.empty())
        return std::unexpected(ProjectBackupError::emptyBackup());
    for (const auto& project : backup.projects)
        if (auto problem = ProjectBackupPackage::scriptProblem(project))
            return std::unexpected(*problem);

    leaveActiveProject();
    std::map<QUuid, QUuid> newIds;
    std::optional<QUuid> firstNewId;
    ProjectNameSet taken = takenProjectNames();
    projects_.reserve(projects_.size() + backup.projects.size());
    for (const auto& project : backup.projects) {
        StoredProject record = project.toStoredProject();
        record.id = platform::newUuid();
        newIds[project.id] = record.id;
        if (!firstNewId)
            firstNewId = record.id;
        // Earlier projects of this import already count as taken.
        record.name = uniqueProjectName(project.name, QStringLiteral("（导入）"), taken);
        projects_.push_back(std::move(record));
    }
    const auto active = newIds.find(backup.activeProjectID);
    activeProjectID_ = active != newIds.end() ? active->second : *firstNewId;
    loadActiveProject();
    finishProjectSwitch();
    return static_cast<qint64>(backup.projects.size());
}

std::optional<QStringList> PromptScript::storedDocumentPaths(const platform::DefaultsStore& defaults, const QString& location,
                                                            const QString& identity)
{
    // Both: fresh settings in the same folder read whole and name nothing, and
    // a copy elsewhere (in another configuration folder, say) may be older.
    const bool same = location == defaults.location() && (identity.isEmpty() || identity == defaults.identity());
    if (!same || !defaults.readWhole())
        return std::nullopt;
    for (const QString& key : defaults.keys())
        if (key.startsWith(unreadableProjectsKey))
            return std::nullopt;
    QStringList paths;
    if (!defaults.contains(projectsKey))
        return paths;
    const auto data = defaults.data(projectsKey);
    const auto state = data ? StoredState::fromJson(*data) : std::nullopt;
    if (!state)
        return std::nullopt;
    for (const StoredProject& project : state->projects) {
        if (project.deck)
            paths.append(project.deck->filePath);
        if (project.keynoteNotesBackup && project.keynoteNotesBackup->documentPath)
            paths.append(*project.keynoteNotesBackup->documentPath);
    }
    return paths;
}

} // namespace quorvia
