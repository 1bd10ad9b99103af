#pragma once

#include "keynote/PPTXParserError.h"
#include "model/PresentationDeck.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <expected>
#include <system_error>
#include <variant>

namespace quorvia {

// Ours, or the file system's own error when the file's attributes cannot be read.
using PPTXParseFailure = std::variant<PPTXParserError, std::error_code>;

// Reads the slide texts of a .pptx file into a deck. Blocks its thread for one
// unzip run per package entry (two plus one per slide).
class PPTXParser {
public:
    PPTXParser() = delete;

    static std::expected<PresentationDeck, PPTXParseFailure> parse(const QString& filePath);

    // An entry larger than this is refused as an unreadable archive, so a
    // decompression bomb cannot exhaust memory.
    static constexpr std::int64_t maximumEntrySize = 16 * 1024 * 1024;

private:
    static std::expected<QByteArray, PPTXParserError> archiveEntry(const QString& entry, const QString& archivePath);
    static QString normalizedSlideEntryPath(const QString& target);
};

} // namespace quorvia
