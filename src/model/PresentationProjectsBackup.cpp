#include "model/PresentationProjectsBackup.h"

#include "model/JsonFields.h"

#include <QJsonDocument>

namespace quorvia {

namespace {

QJsonValue integerValue(qint64 v) { return QJsonValue(v); }

std::optional<PromptMode> toPromptMode(const QJsonValue& value)
{
    const auto raw = json::toString(value);
    return raw ? promptModeFromRawValue(*raw) : std::nullopt;
}

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

QJsonObject PresentationProjectsBackup::Project::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), json::fromUuid(id)},
        {QStringLiteral("name"), name},
        {QStringLiteral("rawText"), rawText},
        {QStringLiteral("timelineBlocks"), json::fromArray(timelineBlocks, [](const PromptTimelineBlock& b) { return b.toJson(); })},
        {QStringLiteral("currentIndex"), currentIndex},
        {QStringLiteral("slideMappings"), json::fromArrayOfOptionals(slideMappings, integerValue)},
        {QStringLiteral("slideMappingReviews"),
         json::fromArrayOfOptionals(slideMappingReviews, [](const SlideMappingReview& r) { return r.toJson(); })},
        {QStringLiteral("promptMode"), rawValue(promptMode)},
        {QStringLiteral("speechProgress"), json::fromArray(speechProgress, integerValue)},
        {QStringLiteral("completedSections"), json::fromArray(completedSections, integerValue)},
        {QStringLiteral("readingCharacterIndex"), readingCharacterIndex},
    };
    if (deck)
        object.insert(QStringLiteral("deck"), deck->toJson());
    if (deckAssetPath)
        object.insert(QStringLiteral("deckAssetPath"), *deckAssetPath);
    if (keynoteNotesBackup)
        object.insert(QStringLiteral("keynoteNotesBackup"), keynoteNotesBackup->toJson());
    return object;
}

std::optional<PresentationProjectsBackup::Project> PresentationProjectsBackup::Project::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    Project p;
    p.id = fields.required(QStringLiteral("id"), json::toUuid);
    p.name = fields.required(QStringLiteral("name"), json::toString);
    p.rawText = fields.required(QStringLiteral("rawText"), json::toString);
    p.timelineBlocks = fields.required(QStringLiteral("timelineBlocks"),
                                       [](const QJsonValue& v) { return json::toArray(v, PromptTimelineBlock::fromJson); });
    p.currentIndex = fields.required(QStringLiteral("currentIndex"), json::toInteger);
    p.deck = fields.optional(QStringLiteral("deck"), PresentationDeck::fromJson);
    p.deckAssetPath = fields.optional(QStringLiteral("deckAssetPath"), json::toString);
    p.slideMappings = fields.required(QStringLiteral("slideMappings"),
                                      [](const QJsonValue& v) { return json::toArrayOfOptionals(v, json::toInteger); });
    p.slideMappingReviews = fields.required(QStringLiteral("slideMappingReviews"),
                                            [](const QJsonValue& v) { return json::toArrayOfOptionals(v, SlideMappingReview::fromJson); });
    p.promptMode = fields.required(QStringLiteral("promptMode"), toPromptMode);
    p.speechProgress = fields.required(QStringLiteral("speechProgress"), [](const QJsonValue& v) { return json::toArray(v, json::toInteger); });
    p.completedSections = fields.required(QStringLiteral("completedSections"),
                                          [](const QJsonValue& v) { return json::toArray(v, json::toInteger); });
    p.readingCharacterIndex = fields.required(QStringLiteral("readingCharacterIndex"), json::toInteger);
    p.keynoteNotesBackup = fields.optional(QStringLiteral("keynoteNotesBackup"), KeynotePresenterNotesBackup::fromJson);
    if (!fields.ok())
        return std::nullopt;
    return p;
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
    return QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
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
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

} // namespace quorvia
