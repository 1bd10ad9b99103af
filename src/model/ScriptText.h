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

// A script beyond these limits would stall every step and save on the main thread.
constexpr qsizetype maximumBlockCount = 2000;
constexpr qsizetype maximumBlockBytes = 1024 * 1024; // in UTF-8
// Why the text would parse into too many blocks or a block too large, in
// Chinese; nothing when it fits. Counts without building the blocks.
std::optional<QString> sizeProblem(const QString& text);

} // namespace ScriptText

} // namespace quorvia
