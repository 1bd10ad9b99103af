#pragma once

#include <QString>

#include <optional>

namespace quorvia {

// Why opening and verifying a .key file failed.
struct KeynoteOpenError {
    enum class Kind {
        documentMismatch,
        identityUnavailable,
        notInstalled,
        couldNotOpen,
        automationDenied,
        timedOut,
    };

    Kind kind = Kind::couldNotOpen;
    QString expectedPath;              // documentMismatch, identityUnavailable
    QString actualName;                // documentMismatch
    std::optional<QString> actualPath; // documentMismatch

    static KeynoteOpenError documentMismatch(const QString& expectedPath, const QString& actualName,
                                             const std::optional<QString>& actualPath)
    {
        return {Kind::documentMismatch, expectedPath, actualName, actualPath};
    }
    static KeynoteOpenError identityUnavailable(const QString& expectedPath)
    {
        KeynoteOpenError error = of(Kind::identityUnavailable);
        error.expectedPath = expectedPath;
        return error;
    }
    static KeynoteOpenError notInstalled() { return of(Kind::notInstalled); }
    static KeynoteOpenError couldNotOpen() { return of(Kind::couldNotOpen); }
    static KeynoteOpenError automationDenied() { return of(Kind::automationDenied); }
    static KeynoteOpenError timedOut() { return of(Kind::timedOut); }

    QString description() const;

private:
    static KeynoteOpenError of(Kind kind)
    {
        KeynoteOpenError error;
        error.kind = kind;
        return error;
    }
};

} // namespace quorvia
