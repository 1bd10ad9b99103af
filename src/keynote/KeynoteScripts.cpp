#include "keynote/KeynoteScripts.h"

#include <QStringList>

namespace quorvia {

namespace {

using platform::ScriptResult;

QString indent(int spaces) { return QString(spaces, u' '); }

QString quoted(const QString& word) { return u'"' + word + u'"'; }

QString tellLine(const QString& bundleIdentifier)
{
    return QStringLiteral("tell application id ") + quoted(bundleIdentifier);
}

QString noDocumentGuard()
{
    return indent(4) + QStringLiteral("if (count of documents) is 0 then return ") + quoted(KeynoteScripts::noDocumentWord);
}

QStringList stateTail()
{
    return {
        indent(4) + QStringLiteral("set playbackState to playing"),
        indent(4) + QStringLiteral("set documentName to name of front document"),
        indent(4) + QStringLiteral("set documentPath to \"\""),
        indent(4) + QStringLiteral("try"),
        indent(8) + QStringLiteral("set documentPath to POSIX path of (file of front document)"),
        indent(4) + QStringLiteral("end try"),
        indent(4) + QStringLiteral("tell front document"),
        indent(8)
            + QStringLiteral("return (slide number of current slide as text) & (character id 31) & (count of slides as text) & (character id 31) & (playbackState as text) & (character id 31) & documentName & (character id 31) & documentPath"),
        indent(4) + QStringLiteral("end tell"),
        QStringLiteral("end tell"),
    };
}

enum class Outcome { reply, automationDenied, failure };

Outcome outcomeOf(const ScriptResult& result)
{
    if (result)
        return Outcome::reply;
    if (result.error().kind == platform::ScriptErrorKind::failed
        && result.error().number == platform::ScriptRunner::automationDeniedErrorNumber)
        return Outcome::automationDenied;
    return Outcome::failure;
}

// Why a notes script failed to run, if it did.
std::optional<KeynotePresenterNotesError> notesRunFailure(const ScriptResult& result)
{
    switch (outcomeOf(result)) {
    case Outcome::failure:
        return KeynotePresenterNotesError::unavailable;
    case Outcome::automationDenied:
        return KeynotePresenterNotesError::automationDenied;
    case Outcome::reply:
        break;
    }
    return std::nullopt;
}

// A notes reply that is not the expected answer.
KeynotePresenterNotesError notesReplyFailure(const std::optional<QString>& text)
{
    if (text == KeynoteScripts::documentMismatchWord || text == KeynoteScripts::noDocumentWord)
        return KeynotePresenterNotesError::documentMismatch;
    return KeynotePresenterNotesError::unavailable;
}

// An optional sign and ASCII digits only, within int.
std::optional<int> decimalInteger(const QString& field)
{
    qsizetype start = 0;
    if (!field.isEmpty() && (field[0] == u'+' || field[0] == u'-'))
        start = 1;
    if (start == field.size())
        return std::nullopt;
    for (qsizetype i = start; i < field.size(); ++i)
        if (field[i] < u'0' || field[i] > u'9')
            return std::nullopt;
    bool ok = false;
    const int value = field.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString KeynoteScripts::stateReadScript(const QString& bundleIdentifier)
{
    QStringList lines{tellLine(bundleIdentifier), noDocumentGuard()};
    lines += stateTail();
    return lines.join(u'\n');
}

QString KeynoteScripts::goToSlideScript(int slideNumber, const QString& bundleIdentifier)
{
    const QString n = QString::number(slideNumber);
    QStringList lines{
        tellLine(bundleIdentifier),
        noDocumentGuard(),
        indent(4) + QStringLiteral("tell front document"),
        indent(8) + QStringLiteral("if ") + n + QStringLiteral(" > (count of slides) then return ") + quoted(outOfRangeWord),
        indent(8) + QStringLiteral("set current slide to slide ") + n,
        indent(4) + QStringLiteral("end tell"),
    };
    lines += stateTail();
    return lines.join(u'\n');
}

QString KeynoteScripts::commandScript(const QString& command, const QString& bundleIdentifier)
{
    QStringList lines{
        tellLine(bundleIdentifier),
        noDocumentGuard(),
        indent(4) + command,
        indent(4) + QStringLiteral("delay 0.15"),
    };
    lines += stateTail();
    return lines.join(u'\n');
}

QString KeynoteScripts::documentValidationScript(const KeynoteDocumentIdentity& expectedIdentity,
                                                 qint64 expectedSlideCount)
{
    const QString mismatch = QStringLiteral(" then return ") + quoted(documentMismatchWord);
    const QString identityTest = expectedIdentity.filePath
        ? QStringLiteral("if documentPath is not ") + appleScriptTextExpression(*expectedIdentity.filePath) + mismatch
        : QStringLiteral("if documentName is not ") + appleScriptTextExpression(expectedIdentity.name) + mismatch;
    const QStringList lines{
        QStringLiteral("set documentName to name of front document"),
        QStringLiteral("set documentPath to \"\""),
        QStringLiteral("try"),
        indent(4) + QStringLiteral("set documentPath to POSIX path of (file of front document)"),
        QStringLiteral("end try"),
        QStringLiteral("tell front document"),
        indent(4) + QStringLiteral("if (count of slides) is not ") + QString::number(expectedSlideCount) + mismatch,
        QStringLiteral("end tell"),
        identityTest,
    };
    return lines.join(u'\n');
}

QString KeynoteScripts::readPresenterNotesScript(const std::vector<qint64>& slideNumbers,
                                                 const KeynoteDocumentIdentity& expectedIdentity,
                                                 qint64 expectedSlideCount, const QString& bundleIdentifier)
{
    QStringList reads;
    for (const qint64 slide : slideNumbers)
        reads << QStringLiteral("set end of noteValues to (presenter notes of slide ") + QString::number(slide)
                + QStringLiteral(" as text)");
    const QStringList lines{
        tellLine(bundleIdentifier),
        noDocumentGuard(),
        indent(4) + documentValidationScript(expectedIdentity, expectedSlideCount),
        indent(4) + QStringLiteral("set noteValues to {}"),
        indent(4) + QStringLiteral("tell front document"),
        indent(8) + reads.join(u'\n' + indent(12)),
        indent(4) + QStringLiteral("end tell"),
        indent(4) + QStringLiteral("return noteValues"),
        QStringLiteral("end tell"),
    };
    return lines.join(u'\n');
}

QString KeynoteScripts::replacePresenterNotesScript(const Notes& notes, const KeynoteDocumentIdentity& expectedIdentity,
                                                    qint64 expectedSlideCount, const QString& bundleIdentifier)
{
    QStringList writes;
    for (const auto& [slide, text] : notes) // the map keeps ascending slide order
        writes << QStringLiteral("set presenter notes of slide ") + QString::number(slide) + QStringLiteral(" to ")
                + appleScriptTextExpression(text);
    const QStringList lines{
        tellLine(bundleIdentifier),
        noDocumentGuard(),
        indent(4) + documentValidationScript(expectedIdentity, expectedSlideCount),
        indent(4) + QStringLiteral("tell front document"),
        indent(8) + writes.join(u'\n' + indent(12)),
        indent(4) + QStringLiteral("end tell"),
        indent(4) + QStringLiteral("return ") + quoted(okWord),
        QStringLiteral("end tell"),
    };
    return lines.join(u'\n');
}

QString KeynoteScripts::appleScriptTextExpression(const QString& text)
{
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalized.replace(u'\r', u'\n');
    QStringList literals;
    for (QString line : normalized.split(u'\n', Qt::KeepEmptyParts)) {
        line.replace(u'\\', QStringLiteral("\\\\"));
        line.replace(u'"', QStringLiteral("\\\""));
        literals << quoted(line);
    }
    return literals.join(QStringLiteral(" & linefeed & "));
}

ProbeResult KeynoteScripts::classifyState(const ScriptResult& outcome)
{
    const ProbeResult unavailable{KeynoteConnectionState::unavailable(), std::nullopt};
    switch (outcomeOf(outcome)) {
    case Outcome::failure:
        return unavailable;
    case Outcome::automationDenied:
        return {KeynoteConnectionState::automationDenied(), std::nullopt};
    case Outcome::reply:
        break;
    }
    const auto text = outcome->stringValue();
    if (!text)
        return unavailable;
    if (*text == noDocumentWord)
        return {KeynoteConnectionState::noDocument(), std::nullopt};

    const QStringList fields = text->split(QChar(fieldSeparator), Qt::KeepEmptyParts);
    if (fields.size() != 5)
        return unavailable;
    const auto current = decimalInteger(fields[0]);
    const auto count = decimalInteger(fields[1]);
    if (!current || !count || *current < 1 || *current > *count)
        return unavailable;
    const bool playing = fields[2].toLower() == QStringLiteral("true");
    KeynoteDocumentIdentity identity{fields[3], fields[4].isEmpty() ? std::nullopt : std::optional<QString>(fields[4])};
    return {KeynoteConnectionState::ready(*current, *count, playing), std::move(identity)};
}

std::expected<KeynoteScripts::Notes, KeynotePresenterNotesError>
KeynoteScripts::classifyNotesRead(const ScriptResult& outcome, const std::vector<qint64>& slideNumbers)
{
    if (const auto failed = notesRunFailure(outcome))
        return std::unexpected(*failed);
    const platform::ScriptReply& reply = *outcome;
    if (reply.numberOfItems() == static_cast<int>(slideNumbers.size()) && reply.isList()) {
        Notes notes;
        for (std::size_t i = 0; i < slideNumbers.size(); ++i) {
            const auto item = reply.item(static_cast<int>(i) + 1);
            if (!item)
                return std::unexpected(KeynotePresenterNotesError::unavailable);
            notes[slideNumbers[i]] = *item;
        }
        return notes;
    }
    return std::unexpected(notesReplyFailure(reply.stringValue()));
}

std::expected<void, KeynotePresenterNotesError> KeynoteScripts::classifyNotesReplacement(const ScriptResult& outcome)
{
    if (const auto failed = notesRunFailure(outcome))
        return std::unexpected(*failed);
    const auto text = outcome->stringValue();
    if (text == okWord)
        return {};
    return std::unexpected(notesReplyFailure(text));
}

ProbeResult KeynoteScripts::readCurrentSlide(platform::ScriptRunner& runner, const QString& bundleIdentifier)
{
    return executeStateScript(runner, stateReadScript(bundleIdentifier));
}

ProbeResult KeynoteScripts::setCurrentSlide(platform::ScriptRunner& runner, int slideNumber,
                                            const QString& bundleIdentifier)
{
    return executeStateScript(runner, goToSlideScript(slideNumber, bundleIdentifier));
}

ProbeResult KeynoteScripts::executeCommand(platform::ScriptRunner& runner, const QString& command,
                                           const QString& bundleIdentifier)
{
    return executeStateScript(runner, commandScript(command, bundleIdentifier));
}

ProbeResult KeynoteScripts::executeStateScript(platform::ScriptRunner& runner, const QString& source)
{
    return classifyState(runner.run(source));
}

std::expected<KeynoteScripts::Notes, KeynotePresenterNotesError> KeynoteScripts::readPresenterNotes(
    platform::ScriptRunner& runner, const std::vector<qint64>& slideNumbers,
    const KeynoteDocumentIdentity& expectedIdentity, qint64 expectedSlideCount, const QString& bundleIdentifier)
{
    const auto outcome = runner.run(
        readPresenterNotesScript(slideNumbers, expectedIdentity, expectedSlideCount, bundleIdentifier));
    return classifyNotesRead(outcome, slideNumbers);
}

std::expected<void, KeynotePresenterNotesError> KeynoteScripts::replacePresenterNotes(
    platform::ScriptRunner& runner, const Notes& notes, const KeynoteDocumentIdentity& expectedIdentity,
    qint64 expectedSlideCount, const QString& bundleIdentifier)
{
    const auto outcome = runner.run(
        replacePresenterNotesScript(notes, expectedIdentity, expectedSlideCount, bundleIdentifier));
    return classifyNotesReplacement(outcome);
}

} // namespace quorvia
