#include "platform/linux/LinuxPermissionService.h"

#include "platform/linux/LinuxCaptureService.h"

namespace quorvia::platform::native {

bool LinuxPermissionService::preflightScreenCaptureAccess() { return LinuxCaptureService::isAvailable(); }

} // namespace quorvia::platform::native
