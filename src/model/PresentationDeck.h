#pragma once

#include "model/PresentationSlide.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <vector>

namespace quorvia {

// The presentation document bound to a project.
struct PresentationDeck {
    QString filePath;        // POSIX path
    QString fileName;        // last path component of filePath
    qint64 fileSize = 0;     // bytes; 0 when unreadable
    double modificationTime = 0; // seconds since 1970; 0 when unreadable
    std::vector<PresentationSlide> slides;

    // A deck for a Keynote document at `filePath`; slides 1 to max(slideCount, 1), all without text.
    static PresentationDeck keynoteDocument(const QString& filePath, qint64 slideCount);

    // The same slides for a copy of the document; attributes that cannot be read keep their old values.
    PresentationDeck relocated(const QString& newFilePath) const;

    // Path, size and time joined by U+001F.
    QString identity() const;

    qint64 slideCount() const { return static_cast<qint64>(slides.size()); }

    bool operator==(const PresentationDeck&) const = default;

    QJsonObject toJson() const;
    static std::optional<PresentationDeck> fromJson(const QJsonValue& value);
};

} // namespace quorvia
