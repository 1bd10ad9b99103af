#include "platform/linux/system/LinuxPermissionService.h"

#include "platform/linux/capture/LinuxCaptureService.h"

namespace quorvia::platform::native {

bool LinuxPermissionService::preflightScreenCaptureAccess() { return LinuxCaptureService::isAvailable(); }

} // namespace quorvia::platform::native
