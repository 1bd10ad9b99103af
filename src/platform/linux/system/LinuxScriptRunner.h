#pragma once

#include "platform/system/ScriptRunner.h"

namespace quorvia::platform::native {

// Linux has no scripting bridge to the slide show application, so every script
// is answered as one that cannot run.
class LinuxScriptRunner final : public ScriptRunner {
public:
    ScriptResult run(const QString& source) override;
};

} // namespace quorvia::platform::native
