#include "platform/files/WriteGate.h"

#include "platform/Platform.h"

namespace quorvia::platform {

std::error_code askWriteGate(const QString& folder)
{
    const std::shared_ptr<WriteGate> gate = installedWriteGate();
    return gate ? gate->beforeWrite(folder) : std::error_code();
}

} // namespace quorvia::platform
