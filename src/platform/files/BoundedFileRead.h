#pragma once

#include <QByteArray>
#include <QString>

namespace quorvia::platform {

// What reading a file of bounded size found. Anything but a plain file (a FIFO,
// a device, a socket, a folder) is refused by what was opened, never waited on.
struct BoundedFileRead {
    enum class Outcome { read, missing, notRegular, tooLarge, failed };
    Outcome outcome = Outcome::failed;
    QByteArray bytes; // only when read
    int error = 0;    // errno, when failed

    bool ok() const { return outcome == Outcome::read; }
};

// Whether what was opened is a plain file (false too when fstat fails).
bool isRegularFile(int fd);

// Reads an open descriptor whole if it is a plain file of at most `bound`
// bytes. Never reads more than bound + 1, so a file that grows while it is
// read is refused as too large rather than filling memory.
BoundedFileRead readBounded(int fd, qint64 bound);

// openForReading, then readBounded. A missing file or folder on the way reads
// `missing`; a link loop or a socket reads `notRegular`.
BoundedFileRead readBoundedFile(const QString& path, qint64 bound, int extraFlags = 0);

} // namespace quorvia::platform
