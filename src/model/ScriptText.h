#pragma once

#include "model/PromptTimelineBlock.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorvia {

namespace ScriptText {
// The text of each block, in order.
QStringList sections(const std::vector<PromptTimelineBlock>& blocks);
// Per block, n for a slide(n) block, nothing for a demo block.
std::vector<std::optional<qint64>> slideMappings(const std::vector<PromptTimelineBlock>& blocks);
} // namespace ScriptText

// The result of parsing a script text or migrating a stored one.
struct ParsedScript {
    std::vector<PromptTimelineBlock> blocks;

    QStringList sections() const { return ScriptText::sections(blocks); }
    std::vector<std::optional<qint64>> explicitSlideMappings() const { return ScriptText::slideMappings(blocks); }
};

// Conversions between a script text ("---" lines cut it into blocks) and timeline blocks.
namespace ScriptText {

ParsedScript parseScript(const QString& text);
QString serialize(const std::vector<PromptTimelineBlock>& blocks);
// For stored text without blocks: without separator lines, one block per paragraph.
ParsedScript migrateStoredScript(const QString& storedText);
QStringList legacySections(const QString& storedText);
QStringList trimmingBlankLines(const QStringList& lines);
bool isDemoLabel(const QString& label);
bool isValidTimelineLabel(const QString& label);
QStringList makeSections(const QString& text);

// A script beyond these limits would stall every step and save on the main
// thread. Every way a script comes in (upload, editor, demo blocks, backups)
// keeps to them, so whatever the application holds also fits in a backup.
constexpr qsizetype maximumBlockCount = 2000;
constexpr qsizetype maximumBlockBytes = 1024 * 1024; // in UTF-8, label included
constexpr qsizetype maximumScriptBytes = 16 * 1024 * 1024; // all labels and texts, in UTF-8
// The stored text of a script within the limits never takes more than this.
constexpr qsizetype storedTextAllowance = maximumScriptBytes + 6 * maximumBlockCount;

enum class SizeLimit { blockCount, blockBytes, scriptBytes };

// Why the text would parse into too many blocks or a block too large, in
// Chinese; nothing when it fits. Judged on the parsed blocks, as everywhere.
std::optional<QString> sizeProblem(const QString& text);
// The first limit the blocks (or the stored text made of them) go beyond.
std::optional<SizeLimit> exceededLimit(const std::vector<PromptTimelineBlock>& blocks, const QString& storedText);
// The first limit the blocks would go beyond with the block at `replacing`
// (a new block when none) given `label` and `text`.
std::optional<SizeLimit> exceededLimitWith(const std::vector<PromptTimelineBlock>& blocks, std::optional<std::size_t> replacing,
                                           const QString& label, const QString& text);
// The limit in words, as in "稿件超过 2000 块".
QString limitText(SizeLimit limit);
// Bytes the text takes in UTF-8.
qsizetype utf8Size(QStringView text);

} // namespace ScriptText

} // namespace quorvia
