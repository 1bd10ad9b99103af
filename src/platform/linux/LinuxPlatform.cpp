#include "platform/linux/LinuxPlatform.h"

#include "platform/Platform.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/LinuxWorkspace.h"
#include "platform/linux/QtDisplayService.h"
#include "platform/linux/LinuxScriptRunner.h"
#include "platform/linux/SettingsDefaults.h"

namespace quorvia::platform::native {

void installLinuxPlatform()
{
    auto platform = std::make_unique<Platform>();
    platform->schedulerService = std::make_shared<QtScheduler>();
    platform->defaultsService = std::make_shared<SettingsDefaults>();
    platform->workspaceService = std::make_shared<LinuxWorkspace>();
    platform->displayService = std::make_shared<QtDisplayService>();
    platform->scriptRunnerService = std::make_shared<LinuxScriptRunner>();
    install(std::move(platform));
}

} // namespace quorvia::platform::native
