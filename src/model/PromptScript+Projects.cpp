#include "model/PromptScript.h"

#include "platform/core/Text.h"
#include "platform/core/Uuid.h"

#include <algorithm>
#include <cmath>

namespace quorvia {

namespace {
constexpr int maximumNameLength = 60;
}

std::vector<PresentationProjectSummary> PromptScript::projectSummaries() const
{
    std::vector<PresentationProjectSummary> out;
    out.reserve(projects_.size());
    for (const auto& record : projects_) {
        const auto count = record.timelineBlocks ? record.timelineBlocks->size() : migrateStoredScript(record.rawText).blocks.size();
        out.push_back({record.id, record.name, static_cast<qint64>(count)});
    }
    return out;
}

QString PromptScript::normalizedName(const QString& name)
{
    QString trimmed = platform::text::trimmedWhitespaceAndNewlines(name);
    if (trimmed.isEmpty())
        trimmed = QStringLiteral("未命名演讲");
    return platform::text::graphemePrefix(trimmed, maximumNameLength);
}

ProjectNameSet PromptScript::takenProjectNames() const
{
    ProjectNameSet names;
    for (const auto& record : projects_)
        names.insert(record.name);
    return names;
}

QString PromptScript::uniqueProjectName(const QString& name, const QString& suffix, ProjectNameSet& taken)
{
    return taken.takeFree(normalizedName(name), suffix, maximumNameLength);
}

QUuid PromptScript::createProject(const QString& name)
{
    leaveActiveProject();
    StoredProject record = StoredProject::newRecord(normalizedName(name), QString());
    record.timelineBlocks = std::vector<PromptTimelineBlock>{};
    projects_.push_back(record);
    activeProjectID_ = record.id;
    loadActiveProject();
    finishProjectSwitch();
    return record.id;
}

void PromptScript::renameActiveProject(const QString& name)
{
    StoredProject* record = activeRecord();
    if (!record)
        return;
    const QString normalized = normalizedName(name);
    if (normalized == record->name)
        return;
    record->name = normalized;
    persist();
    notifyProjectsChanged();
}

std::optional<QUuid> PromptScript::duplicateActiveProject(const std::optional<QString>& relocatedDeckPath)
{
    if (!activeRecord())
        return std::nullopt;
    leaveActiveProject();
    StoredProject copy = *activeRecord();
    const StoredProject& source = *activeRecord();
    copy.id = platform::newUuid();
    if (relocatedDeckPath && source.deck) {
        copy.deck = source.deck->relocated(*relocatedDeckPath);
        if (!std::isfinite(copy.deck->modificationTime))
            copy.deck->modificationTime = 0;
        copy.keynoteNotesBackup = source.keynoteNotesBackup
            ? std::optional(source.keynoteNotesBackup->relocated(*relocatedDeckPath, *source.deck))
            : std::nullopt;
    }
    ProjectNameSet taken = takenProjectNames();
    copy.name = uniqueProjectName(source.name, QStringLiteral(" 副本"), taken);
    projects_.push_back(std::move(copy));
    activeProjectID_ = projects_.back().id;
    loadActiveProject();
    finishProjectSwitch();
    return activeProjectID_;
}

void PromptScript::selectProject(const QUuid& id)
{
    if (id == activeProjectID_)
        return;
    if (std::none_of(projects_.begin(), projects_.end(), [&](const StoredProject& p) { return p.id == id; }))
        return;
    leaveActiveProject();
    activeProjectID_ = id;
    loadActiveProject();
    finishProjectSwitch();
}

bool PromptScript::deleteActiveProject()
{
    if (projects_.size() <= 1)
        return false;
    const auto position = activeProjectArrayIndex();
    if (!position)
        return false;
    projects_.erase(projects_.begin() + static_cast<std::ptrdiff_t>(*position));
    activeProjectID_ = projects_[std::min(*position, projects_.size() - 1)].id;
    loadActiveProject();
    finishProjectSwitch();
    return true;
}

} // namespace quorvia
