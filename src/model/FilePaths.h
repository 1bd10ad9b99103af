#pragma once

#include <QString>

namespace quorvia::paths {

// The last component of a POSIX path, ignoring trailing slashes.
QString lastPathComponent(const QString& path);
// Absolute, with "." and ".." segments resolved, as a standardised file URL reads.
QString standardized(const QString& path);

} // namespace quorvia::paths
