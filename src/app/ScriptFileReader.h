#pragma once

#include <QString>

#include <expected>

namespace quorvia {

// Reads a script file the speaker picked: a regular file of at most 16 MiB
// holding valid UTF-8, within the script's limits on blocks. Any other item is
// refused before a byte is read, so a pipe or a device never blocks the
// caller. File work only; thread-safe.
class ScriptFileReader {
public:
    ScriptFileReader() = delete;

    static constexpr qint64 maximumBytes = 16 * 1024 * 1024;

    // The text, or the Chinese reason it could not be read.
    static std::expected<QString, QString> read(const QString& path);
};

} // namespace quorvia
