#pragma once

#include "model/KeynotePresenterNotesBackup.h"
#include "model/PresentationDeck.h"
#include "model/PromptMode.h"
#include "model/PromptTimelineBlock.h"
#include "model/SlideMappingReview.h"
#include "model/StoredProject.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace quorvia {

// The manifest of a backup package: every project with its deck's place in the package.
struct PresentationProjectsBackup {
    static constexpr qint64 currentFormatVersion = 1;

    struct Project {
        QUuid id; // as in the exporting model
        QString name;
        QString rawText;
        std::vector<PromptTimelineBlock> timelineBlocks;
        qint64 currentIndex = 0;
        std::optional<PresentationDeck> deck;
        // Relative to the package folder, "/" separated; absent without a deck.
        std::optional<QString> deckAssetPath;
        std::vector<std::optional<qint64>> slideMappings;
        std::vector<std::optional<SlideMappingReview>> slideMappingReviews;
        PromptMode promptMode = PromptMode::fixedScroll;
        std::vector<qint64> speechProgress;
        std::vector<qint64> completedSections;
        qint64 readingCharacterIndex = 0;
        std::optional<KeynotePresenterNotesBackup> keynoteNotesBackup;

        bool operator==(const Project&) const = default;

        // The stored record of this project, every list present; the deck's place is dropped.
        StoredProject toStoredProject() const;
        // Lists the record lacks read as empty; the caller derives blocks and mappings first.
        static Project fromStoredProject(const StoredProject& record);

        QJsonObject toJson() const;
        static std::optional<Project> fromJson(const QJsonValue& value);
    };

    qint64 formatVersion = currentFormatVersion;
    QDateTime exportedAt; // whole seconds, UTC
    QUuid activeProjectID;
    std::vector<Project> projects;

    bool operator==(const PresentationProjectsBackup&) const = default;

    QJsonObject toJson() const;
    // Indented, members sorted by name.
    QByteArray toManifest() const;
    // Nothing when a required member is missing or any member has the wrong form.
    static std::optional<PresentationProjectsBackup> fromJson(const QJsonValue& value);
    static std::optional<PresentationProjectsBackup> fromManifest(const QByteArray& data);
};

} // namespace quorvia
