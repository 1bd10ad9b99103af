#include "model/ImportRecord.h"

#include "model/BackupLimits.h"
#include "platform/core/Uuid.h"

#include <algorithm>
#include <climits>

namespace quorvia {

namespace {

const QByteArray settingsLine = "settings:";
const QByteArray identityLine = "identity:";

// What follows `prefix` on the line that begins with it; nothing without such a line.
std::optional<QByteArray> lineAfter(const QList<QByteArray>& lines, const QByteArray& prefix)
{
    const auto line = std::ranges::find_if(lines, [&](const QByteArray& each) { return each.startsWith(prefix); });
    return line == lines.end() ? std::nullopt : std::optional(line->mid(prefix.size()));
}

} // namespace

QByteArray ImportRecord::encoded() const
{
    // The location in base64: a folder's name may hold a line break.
    QByteArray bytes = settingsLine + settingsLocation.value_or(QString()).toUtf8().toBase64() + '\n';
    if (!settingsIdentity.isEmpty())
        bytes += identityLine + settingsIdentity.toLatin1() + '\n';
    for (const QByteArray& folder : copyFolders)
        bytes += folder + '\n';
    return bytes;
}

ImportRecord ImportRecord::decoded(const QByteArray& bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    ImportRecord record;
    if (const auto location = lineAfter(lines, settingsLine))
        record.settingsLocation = QString::fromUtf8(QByteArray::fromBase64(*location));
    record.settingsIdentity = QString::fromLatin1(lineAfter(lines, identityLine).value_or(QByteArray()));
    // Only a copy's own folder name, never a path that leads elsewhere.
    for (const QByteArray& line : lines)
        if (const auto id = platform::parseUuid(QString::fromLatin1(line)); id && platform::uuidString(*id).toLatin1() == line)
            record.copyFolders.append(line);
    return record;
}

qint64 ImportRecord::byteBound()
{
    const qint64 uuidLine = platform::uuidString(QUuid()).size() + 1;
    return settingsLine.size() + (PATH_MAX + 2) / 3 * 4 + 1 + identityLine.size() + uuidLine
        + BackupLimits::standard().deckItems * uuidLine;
}

} // namespace quorvia
