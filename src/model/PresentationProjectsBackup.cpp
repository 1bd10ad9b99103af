#include "model/PresentationProjectsBackup.h"

#include "model/JsonFields.h"

#include <QJsonDocument>

namespace quorvia {

namespace {

// An internet date-time: whole seconds, a time zone designator required.
std::optional<QDateTime> toDate(const QJsonValue& value)
{
    const auto text = json::toString(value);
    if (!text)
        return std::nullopt;
    const QDateTime date = QDateTime::fromString(*text, Qt::ISODate);
    if (!date.isValid() || date.timeSpec() == Qt::LocalTime)
        return std::nullopt;
    return date.toUTC();
}

QString fromDate(const QDateTime& date)
{
    QDateTime utc = date.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

} // namespace

PresentationProjectsBackup::Project PresentationProjectsBackup::Project::fromStoredProject(const StoredProject& record)
{
    Project p;
    p.id = record.id;
    p.name = record.name;
    p.rawText = record.rawText;
    p.timelineBlocks = record.timelineBlocks.value_or(std::vector<PromptTimelineBlock>{});
    p.currentIndex = record.currentIndex;
    p.deck = record.deck;
    p.slideMappings = record.slideMappings.value_or(std::vector<std::optional<qint64>>{});
    p.slideMappingReviews = record.slideMappingReviews.value_or(std::vector<std::optional<SlideMappingReview>>{});
    p.promptMode = record.promptMode.value_or(PromptMode::fixedScroll);
    p.speechProgress = record.speechProgress.value_or(std::vector<qint64>{});
    p.completedSections = record.completedSections.value_or(std::vector<qint64>{});
    p.readingCharacterIndex = record.readingCharacterIndex.value_or(0);
    p.keynoteNotesBackup = record.keynoteNotesBackup;
    return p;
}

StoredProject PresentationProjectsBackup::Project::toStoredProject() const
{
    StoredProject record;
    record.id = id;
    record.name = name;
    record.rawText = rawText;
    record.timelineBlocks = timelineBlocks;
    record.currentIndex = currentIndex;
    record.deck = deck;
    record.slideMappings = slideMappings;
    record.slideMappingReviews = slideMappingReviews;
    record.promptMode = promptMode;
    record.speechProgress = speechProgress;
    record.completedSections = completedSections;
    record.readingCharacterIndex = readingCharacterIndex;
    record.keynoteNotesBackup = keynoteNotesBackup;
    return record;
}

QJsonObject PresentationProjectsBackup::Project::toJson() const
{
    QJsonObject object = toStoredProject().toJson();
    if (deckAssetPath)
        object.insert(QStringLiteral("deckAssetPath"), *deckAssetPath);
    return object;
}

std::optional<PresentationProjectsBackup::Project> PresentationProjectsBackup::Project::fromJson(const QJsonValue& value)
{
    // A stored record in which only the deck, its place and the notes backup may be missing.
    const auto record = StoredProject::fromJson(value);
    json::Fields fields(value);
    const auto deckAssetPath = fields.optional(QStringLiteral("deckAssetPath"), json::toString);
    if (!record || !fields.ok() || !record->timelineBlocks || !record->slideMappings || !record->slideMappingReviews
        || !record->promptMode || !record->speechProgress || !record->completedSections || !record->readingCharacterIndex)
        return std::nullopt;
    Project project = fromStoredProject(*record);
    project.deckAssetPath = deckAssetPath;
    return project;
}

QJsonObject PresentationProjectsBackup::toJson() const
{
    return QJsonObject{
        {QStringLiteral("formatVersion"), formatVersion},
        {QStringLiteral("exportedAt"), fromDate(exportedAt)},
        {QStringLiteral("activeProjectID"), json::fromUuid(activeProjectID)},
        {QStringLiteral("projects"), json::fromArray(projects, [](const Project& p) { return p.toJson(); })},
    };
}

QByteArray PresentationProjectsBackup::toManifest() const
{
    // Qt keeps object members sorted by name.
    return json::encode(toJson(), QJsonDocument::Indented);
}

std::optional<PresentationProjectsBackup> PresentationProjectsBackup::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    PresentationProjectsBackup backup;
    backup.formatVersion = fields.required(QStringLiteral("formatVersion"), json::toInteger);
    backup.exportedAt = fields.required(QStringLiteral("exportedAt"), toDate);
    backup.activeProjectID = fields.required(QStringLiteral("activeProjectID"), json::toUuid);
    backup.projects = fields.required(QStringLiteral("projects"), [](const QJsonValue& v) { return json::toArray(v, Project::fromJson); });
    if (!fields.ok())
        return std::nullopt;
    return backup;
}

std::optional<PresentationProjectsBackup> PresentationProjectsBackup::fromManifest(const QByteArray& data)
{
    const auto object = json::parseObject(data);
    return object ? fromJson(*object) : std::nullopt;
}

} // namespace quorvia
