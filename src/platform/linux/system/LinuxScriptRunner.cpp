#include "platform/linux/system/LinuxScriptRunner.h"

namespace quorvia::platform::native {

ScriptResult LinuxScriptRunner::run(const QString&)
{
    return std::unexpected(ScriptError{ScriptErrorKind::cannotCompile, std::nullopt,
                                       QStringLiteral("本机无法运行 AppleScript。")});
}

} // namespace quorvia::platform::native
