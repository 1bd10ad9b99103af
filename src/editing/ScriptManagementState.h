#pragma once

#include <QString>

namespace quorvia {

class PromptScript;

// What the script management window shows for the active project.
struct ScriptManagementState {
    QString statusText;
    QString importTitle;
    bool deleteEnabled = false;

    static ScriptManagementState of(const PromptScript& script);
    static ScriptManagementState of(bool hasContent, qsizetype blockCount);

    friend bool operator==(const ScriptManagementState&, const ScriptManagementState&) = default;
};

} // namespace quorvia
