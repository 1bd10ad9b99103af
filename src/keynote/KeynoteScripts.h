#pragma once

#include "keynote/KeynoteDocumentIdentity.h"
#include "keynote/KeynotePresenterNotesError.h"
#include "keynote/ProbeResult.h"
#include "platform/system/ScriptRunner.h"

#include <QString>

#include <expected>
#include <map>
#include <vector>

namespace quorvia {

// The AppleScript texts that drive Keynote and the reading of their replies.
// Stateless and thread-safe: the controller runs them on its probe queue.
class KeynoteScripts {
public:
    KeynoteScripts() = delete;

    using Notes = std::map<qint64, QString>;

    // The four playback command words.
    static inline const QString showNextCommand = QStringLiteral("show next");
    static inline const QString showPreviousCommand = QStringLiteral("show previous");
    static inline const QString startCommand = QStringLiteral("start front document from current slide of front document");
    static inline const QString stopCommand = QStringLiteral("stop front document");

    // Result words, each a whole reply.
    static inline const QString noDocumentWord = QStringLiteral("NO_DOCUMENT");
    static inline const QString outOfRangeWord = QStringLiteral("OUT_OF_RANGE");
    static inline const QString documentMismatchWord = QStringLiteral("DOCUMENT_MISMATCH");
    static inline const QString okWord = QStringLiteral("OK");
    static constexpr char16_t fieldSeparator = u'\x1F';

    // Script texts.
    static QString stateReadScript(const QString& bundleIdentifier);
    static QString goToSlideScript(int slideNumber, const QString& bundleIdentifier);
    static QString commandScript(const QString& command, const QString& bundleIdentifier);
    static QString documentValidationScript(const KeynoteDocumentIdentity& expectedIdentity, qint64 expectedSlideCount);
    static QString readPresenterNotesScript(const std::vector<qint64>& slideNumbers,
                                            const KeynoteDocumentIdentity& expectedIdentity,
                                            qint64 expectedSlideCount, const QString& bundleIdentifier);
    static QString replacePresenterNotesScript(const Notes& notes, const KeynoteDocumentIdentity& expectedIdentity,
                                               qint64 expectedSlideCount, const QString& bundleIdentifier);
    static QString appleScriptTextExpression(const QString& text);

    // Reading replies.
    static ProbeResult classifyState(const platform::ScriptResult& outcome);
    static std::expected<Notes, KeynotePresenterNotesError> classifyNotesRead(const platform::ScriptResult& outcome,
                                                                              const std::vector<qint64>& slideNumbers);
    static std::expected<void, KeynotePresenterNotesError> classifyNotesReplacement(const platform::ScriptResult& outcome);

    // Build, run synchronously and read.
    static ProbeResult readCurrentSlide(platform::ScriptRunner& runner, const QString& bundleIdentifier);
    static ProbeResult setCurrentSlide(platform::ScriptRunner& runner, int slideNumber, const QString& bundleIdentifier);
    static ProbeResult executeCommand(platform::ScriptRunner& runner, const QString& command,
                                      const QString& bundleIdentifier);
    static ProbeResult executeStateScript(platform::ScriptRunner& runner, const QString& source);
    static std::expected<Notes, KeynotePresenterNotesError> readPresenterNotes(
        platform::ScriptRunner& runner, const std::vector<qint64>& slideNumbers,
        const KeynoteDocumentIdentity& expectedIdentity, qint64 expectedSlideCount, const QString& bundleIdentifier);
    static std::expected<void, KeynotePresenterNotesError> replacePresenterNotes(
        platform::ScriptRunner& runner, const Notes& notes, const KeynoteDocumentIdentity& expectedIdentity,
        qint64 expectedSlideCount, const QString& bundleIdentifier);
};

} // namespace quorvia
