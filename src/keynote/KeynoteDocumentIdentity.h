#pragma once

#include <QString>

#include <optional>

namespace quorvia {

struct PresentationDeck;

// The front document as Keynote reports it.
struct KeynoteDocumentIdentity {
    QString name;                    // as Keynote shows it, with or without ".key"
    std::optional<QString> filePath; // POSIX path; absent for a document never saved

    // A known path decides alone; without one the name stems are compared,
    // ignoring case and diacritics.
    bool matches(const PresentationDeck& deck) const;
    bool matches(const QString& fileURLPath) const;

    bool operator==(const KeynoteDocumentIdentity&) const = default;

private:
    bool matches(const QString& otherPath, const QString& otherName) const;
    static QString keynoteDocumentStem(const QString& nameOrPath);
};

} // namespace quorvia
