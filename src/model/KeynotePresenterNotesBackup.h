#pragma once

#include "model/PresentationDeck.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <map>
#include <optional>

namespace quorvia {

// The presenter notes of one Keynote document, kept so that they can be written back.
struct KeynotePresenterNotesBackup {
    QString documentName;
    std::optional<QString> documentPath; // POSIX path, when known
    qint64 slideCount = 0;
    std::map<qint64, QString> notesBySlide; // slides numbered from 1; unread slides have no entry

    // Same slide count, and then the standardised paths when both are known, else
    // the names ignoring case and diacritics.
    bool matches(const QString& otherName, const std::optional<QString>& otherPath, qint64 otherSlideCount) const;

    // The same notes, attributed to the file at `filePath`.
    KeynotePresenterNotesBackup relocated(const QString& filePath) const;
    // Follows a copied deck file only when these notes belong to that deck.
    KeynotePresenterNotesBackup relocated(const QString& filePath, const PresentationDeck& boundDeck) const;

    bool operator==(const KeynotePresenterNotesBackup&) const = default;

    QJsonObject toJson() const;
    static std::optional<KeynotePresenterNotesBackup> fromJson(const QJsonValue& value);
};

} // namespace quorvia
