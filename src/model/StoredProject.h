#pragma once

#include "model/KeynotePresenterNotesBackup.h"
#include "model/PresentationDeck.h"
#include "model/PromptMode.h"
#include "model/PromptTimelineBlock.h"
#include "model/SlideMappingReview.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace quorvia {

// The stored record of one presentation project. Optional fields are absent in
// records written by older versions and are left out of the JSON when absent.
struct StoredProject {
    QUuid id;
    QString name;
    QString rawText;
    std::optional<std::vector<PromptTimelineBlock>> timelineBlocks;
    qint64 currentIndex = 0;
    std::optional<PresentationDeck> deck;
    // Written on every save; loading derives mappings from the block labels instead.
    std::optional<std::vector<std::optional<qint64>>> slideMappings;
    std::optional<std::vector<std::optional<SlideMappingReview>>> slideMappingReviews;
    std::optional<PromptMode> promptMode;
    // Written on every save; loading starts every section at 0.
    std::optional<std::vector<qint64>> speechProgress;
    std::optional<std::vector<qint64>> completedSections; // ascending
    std::optional<qint64> readingCharacterIndex;
    std::optional<KeynotePresenterNotesBackup> keynoteNotesBackup;

    // A new project under a new id: empty lists, fixedScroll, no deck and no block list.
    static StoredProject newRecord(const QString& name, const QString& rawText);

    bool operator==(const StoredProject&) const = default;

    QJsonObject toJson() const;
    // All or nothing: any member of the wrong type makes the record unreadable.
    static std::optional<StoredProject> fromJson(const QJsonValue& value);
};

} // namespace quorvia
