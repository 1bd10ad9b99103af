#pragma once

#include <QString>

#include <system_error>

namespace quorvia::platform {

// Whether this launch may write beneath a folder of the application's now:
// the settings store and the document store ask before every write. The
// application installs the instance locks' gate with the platform set, so no
// launch without a folder's lock writes there.
class WriteGate {
public:
    virtual ~WriteGate() = default;
    // No error when the write may go ahead, else why not. Any thread.
    virtual std::error_code beforeWrite(const QString& folder) = 0;
};

// Asks the installed set's gate; with none installed nothing is refused. Any
// thread, even while the set is replaced.
std::error_code askWriteGate(const QString& folder);

} // namespace quorvia::platform
