#pragma once

#include <QtGlobal>

namespace quorvia::platform::native {

// Whether the process runs this very executable under this user: another
// launch of the application, whose windows are as private as ours.
bool runsSameProgram(qint64 processID);

} // namespace quorvia::platform::native
