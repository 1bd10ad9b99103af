#include "model/ScriptText.h"

#include "model/WholeNumber.h"
#include "platform/core/Text.h"
#include "platform/core/Uuid.h"

#include <limits>

namespace quorvia {

namespace text = platform::text;

namespace ScriptText {

QStringList sections(const std::vector<PromptTimelineBlock>& blocks)
{
    QStringList out;
    out.reserve(static_cast<qsizetype>(blocks.size()));
    for (const auto& block : blocks)
        out.append(block.text);
    return out;
}

std::vector<std::optional<qint64>> slideMappings(const std::vector<PromptTimelineBlock>& blocks)
{
    std::vector<std::optional<qint64>> out;
    out.reserve(blocks.size());
    for (const auto& block : blocks) {
        const auto kind = block.kind();
        out.push_back(kind.isSlide() ? std::optional<qint64>(kind.slideNumber) : std::nullopt);
    }
    return out;
}

namespace {

QString normalizedLineEndings(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

QStringList splitLines(const QString& normalized) { return normalized.split(u'\n'); }

bool isSeparatorLine(const QString& line) { return text::trimmedWhitespace(line) == QLatin1String("---"); }

bool hasSeparatorLine(const QStringList& lines)
{
    for (const auto& line : lines)
        if (isSeparatorLine(line))
            return true;
    return false;
}

} // namespace

QStringList trimmingBlankLines(const QStringList& lines)
{
    qsizetype begin = 0;
    qsizetype end = lines.size();
    while (begin < end && text::isBlank(lines[begin]))
        ++begin;
    while (end > begin && text::isBlank(lines[end - 1]))
        --end;
    return lines.mid(begin, end - begin);
}

bool isDemoLabel(const QString& label)
{
    if (label.isEmpty())
        return false;
    for (QChar c : label) {
        const char16_t u = c.unicode();
        if (!((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')))
            return false;
    }
    return true;
}

bool isValidTimelineLabel(const QString& label)
{
    if (const auto number = parseWholeNumber(label))
        return *number >= 1;
    return isDemoLabel(label);
}

ParsedScript parseScript(const QString& source)
{
    const QString normalized = normalizedLineEndings(source);
    const QStringList lines = splitLines(normalized);
    ParsedScript result;

    if (!hasSeparatorLine(lines)) {
        const QString whole = text::trimmedWhitespaceAndNewlines(normalized);
        if (!whole.isEmpty())
            result.blocks.emplace_back(platform::newUuid(), QStringLiteral("1"), whole);
        return result;
    }

    std::vector<QStringList> chunks(1);
    for (const auto& line : lines) {
        if (isSeparatorLine(line))
            chunks.emplace_back();
        else
            chunks.back().append(line);
    }

    qint64 lastSlideNumber = 0;
    for (const auto& chunk : chunks) {
        QStringList body = trimmingBlankLines(chunk);
        if (body.isEmpty())
            continue;
        const QString candidate = text::trimmedWhitespaceAndNewlines(body.first());
        const auto number = parseWholeNumber(candidate);
        QString label;
        if (number && *number >= 1 && body.size() >= 2) {
            label = QString::number(*number);
            lastSlideNumber = *number;
            body = trimmingBlankLines(body.mid(1));
        } else if (isDemoLabel(candidate) && body.size() >= 2) {
            label = candidate;
            body = trimmingBlankLines(body.mid(1));
        } else {
            // After a label at the largest number there is no next one; the number saturates.
            if (lastSlideNumber < std::numeric_limits<qint64>::max())
                ++lastSlideNumber;
            label = QString::number(lastSlideNumber);
        }
        const QString blockText = text::trimmedWhitespaceAndNewlines(body.join(u'\n'));
        if (blockText.isEmpty())
            continue;
        result.blocks.emplace_back(platform::newUuid(), label, blockText);
    }
    return result;
}

QString serialize(const std::vector<PromptTimelineBlock>& blocks)
{
    QStringList parts;
    parts.reserve(static_cast<qsizetype>(blocks.size()));
    for (const auto& block : blocks)
        parts.append(block.text.isEmpty() ? block.label : block.label + u'\n' + block.text);
    return parts.join(QStringLiteral("\n---\n"));
}

QStringList legacySections(const QString& storedText)
{
    const QString normalized = normalizedLineEndings(storedText);
    QStringList out;
    for (const auto& paragraph : normalized.split(QStringLiteral("\n\n"))) {
        const QString trimmed = text::trimmedWhitespaceAndNewlines(paragraph);
        if (!trimmed.isEmpty())
            out.append(trimmed);
    }
    return out;
}

ParsedScript migrateStoredScript(const QString& storedText)
{
    const QString normalized = normalizedLineEndings(storedText);
    if (hasSeparatorLine(splitLines(normalized)))
        return parseScript(normalized);
    ParsedScript result;
    const QStringList sections = legacySections(normalized);
    for (qsizetype i = 0; i < sections.size(); ++i)
        result.blocks.emplace_back(platform::newUuid(), QString::number(i + 1), sections[i]);
    return result;
}

QStringList makeSections(const QString& text) { return parseScript(text).sections(); }

qsizetype utf8Size(QStringView line)
{
    qsizetype bytes = 0;
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : c.isSurrogate() ? 2 : 3;
    }
    return bytes;
}

std::optional<SizeLimit> exceededLimit(const std::vector<PromptTimelineBlock>& blocks, const QString& storedText)
{
    if (static_cast<qsizetype>(blocks.size()) > maximumBlockCount)
        return SizeLimit::blockCount;
    // A UTF-16 unit takes at most three bytes in UTF-8: most scripts need no counting.
    qsizetype units = 0;
    for (const auto& block : blocks)
        units += block.label.size() + block.text.size();
    const bool totalFits = 3 * units <= maximumScriptBytes;
    qsizetype total = 0;
    for (const auto& block : blocks) {
        const qsizetype blockUnits = block.label.size() + block.text.size();
        const qsizetype size = !totalFits || 3 * blockUnits > maximumBlockBytes ? utf8Size(block.label) + utf8Size(block.text)
                                                                                 : blockUnits;
        if (size > maximumBlockBytes)
            return SizeLimit::blockBytes;
        total += size;
    }
    if (!totalFits && total > maximumScriptBytes)
        return SizeLimit::scriptBytes;
    // The stored text adds a line break after each label and a separator line between blocks.
    if (3 * storedText.size() > storedTextAllowance && utf8Size(storedText) > storedTextAllowance)
        return SizeLimit::scriptBytes;
    return std::nullopt;
}

std::optional<SizeLimit> exceededLimitWith(const std::vector<PromptTimelineBlock>& blocks, std::optional<std::size_t> replacing,
                                           const QString& label, const QString& text)
{
    const qsizetype count = static_cast<qsizetype>(blocks.size()) + (replacing ? 0 : 1);
    if (count > maximumBlockCount)
        return SizeLimit::blockCount;
    const auto size = [](const QString& label, const QString& text, bool exact) {
        return exact || 3 * (label.size() + text.size()) > maximumBlockBytes ? utf8Size(label) + utf8Size(text)
                                                                             : label.size() + text.size();
    };
    qsizetype units = label.size() + text.size();
    for (std::size_t i = 0; i < blocks.size(); ++i)
        if (i != replacing)
            units += blocks[i].label.size() + blocks[i].text.size();
    const bool totalFits = 3 * units <= maximumScriptBytes;
    const qsizetype own = size(label, text, !totalFits);
    if (own > maximumBlockBytes)
        return SizeLimit::blockBytes;
    if (totalFits)
        return std::nullopt;
    qsizetype total = own;
    for (std::size_t i = 0; i < blocks.size(); ++i)
        if (i != replacing)
            total += size(blocks[i].label, blocks[i].text, true);
    if (total > maximumScriptBytes)
        return SizeLimit::scriptBytes;
    return std::nullopt;
}

QString limitText(SizeLimit limit)
{
    switch (limit) {
    case SizeLimit::blockCount:
        return QStringLiteral("稿件超过 %1 块").arg(maximumBlockCount);
    case SizeLimit::blockBytes:
        return QStringLiteral("稿件中有一块超过 1 MB");
    case SizeLimit::scriptBytes:
        return QStringLiteral("稿件合计超过 16 MB");
    }
    return {};
}

std::optional<QString> sizeProblem(const QString& source)
{
    // Judged on the blocks the text becomes, labels included, as every other
    // way in and the backup judge them: whatever is taken can be exported.
    // A text far beyond the limits is refused before it is parsed.
    if (utf8Size(source) > 2 * storedTextAllowance)
        return QStringLiteral("稿件合计超过 16 MB，无法上传。请把它拆成几个演讲项目。");
    const ParsedScript parsed = parseScript(source);
    const auto limit = exceededLimit(parsed.blocks, serialize(parsed.blocks));
    if (!limit)
        return std::nullopt;
    switch (*limit) {
    case SizeLimit::blockCount:
        return QStringLiteral("稿件超过 %1 块，无法上传。请把它拆成几个演讲项目。").arg(maximumBlockCount);
    case SizeLimit::blockBytes:
        return QStringLiteral("稿件中有一块超过 1 MB，无法上传。请把它拆成几块。");
    case SizeLimit::scriptBytes:
        return QStringLiteral("稿件合计超过 16 MB，无法上传。请把它拆成几个演讲项目。");
    }
    return std::nullopt;
}

} // namespace ScriptText

} // namespace quorvia
