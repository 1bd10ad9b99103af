#include "model/StoredProject.h"

#include "model/JsonFields.h"
#include "platform/core/Uuid.h"

namespace quorvia {

namespace {

QJsonValue integerValue(qint64 v) { return QJsonValue(v); }

std::optional<PromptMode> toPromptMode(const QJsonValue& value)
{
    const auto raw = json::toString(value);
    return raw ? promptModeFromRawValue(*raw) : std::nullopt;
}

} // namespace

StoredProject StoredProject::newRecord(const QString& name, const QString& rawText)
{
    StoredProject record;
    record.id = platform::newUuid();
    record.name = name;
    record.rawText = rawText;
    record.slideMappings = std::vector<std::optional<qint64>>{};
    record.slideMappingReviews = std::vector<std::optional<SlideMappingReview>>{};
    record.promptMode = PromptMode::fixedScroll;
    record.speechProgress = std::vector<qint64>{};
    record.completedSections = std::vector<qint64>{};
    record.readingCharacterIndex = 0;
    return record;
}

QJsonObject StoredProject::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), json::fromUuid(id)},
        {QStringLiteral("name"), name},
        {QStringLiteral("rawText"), rawText},
        {QStringLiteral("currentIndex"), currentIndex},
    };
    if (timelineBlocks)
        object.insert(QStringLiteral("timelineBlocks"), json::fromArray(*timelineBlocks, [](const PromptTimelineBlock& b) { return b.toJson(); }));
    if (deck)
        object.insert(QStringLiteral("deck"), deck->toJson());
    if (slideMappings)
        object.insert(QStringLiteral("slideMappings"), json::fromArrayOfOptionals(*slideMappings, integerValue));
    if (slideMappingReviews)
        object.insert(QStringLiteral("slideMappingReviews"),
                      json::fromArrayOfOptionals(*slideMappingReviews, [](const SlideMappingReview& r) { return r.toJson(); }));
    if (promptMode)
        object.insert(QStringLiteral("promptMode"), rawValue(*promptMode));
    if (speechProgress)
        object.insert(QStringLiteral("speechProgress"), json::fromArray(*speechProgress, integerValue));
    if (completedSections)
        object.insert(QStringLiteral("completedSections"), json::fromArray(*completedSections, integerValue));
    if (readingCharacterIndex)
        object.insert(QStringLiteral("readingCharacterIndex"), *readingCharacterIndex);
    if (keynoteNotesBackup)
        object.insert(QStringLiteral("keynoteNotesBackup"), keynoteNotesBackup->toJson());
    return object;
}

std::optional<StoredProject> StoredProject::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    StoredProject p;
    p.id = fields.required(QStringLiteral("id"), json::toUuid);
    p.name = fields.required(QStringLiteral("name"), json::toString);
    p.rawText = fields.required(QStringLiteral("rawText"), json::toString);
    p.timelineBlocks = fields.optional(QStringLiteral("timelineBlocks"),
                                       [](const QJsonValue& v) { return json::toArray(v, PromptTimelineBlock::fromJson); });
    p.currentIndex = fields.required(QStringLiteral("currentIndex"), json::toInteger);
    p.deck = fields.optional(QStringLiteral("deck"), PresentationDeck::fromJson);
    p.slideMappings = fields.optional(QStringLiteral("slideMappings"),
                                      [](const QJsonValue& v) { return json::toArrayOfOptionals(v, json::toInteger); });
    p.slideMappingReviews = fields.optional(QStringLiteral("slideMappingReviews"),
                                            [](const QJsonValue& v) { return json::toArrayOfOptionals(v, SlideMappingReview::fromJson); });
    p.promptMode = fields.optional(QStringLiteral("promptMode"), toPromptMode);
    p.speechProgress = fields.optional(QStringLiteral("speechProgress"), [](const QJsonValue& v) { return json::toArray(v, json::toInteger); });
    p.completedSections = fields.optional(QStringLiteral("completedSections"),
                                          [](const QJsonValue& v) { return json::toArray(v, json::toInteger); });
    p.readingCharacterIndex = fields.optional(QStringLiteral("readingCharacterIndex"), json::toInteger);
    p.keynoteNotesBackup = fields.optional(QStringLiteral("keynoteNotesBackup"), KeynotePresenterNotesBackup::fromJson);
    if (!fields.ok())
        return std::nullopt;
    return p;
}

} // namespace quorvia
