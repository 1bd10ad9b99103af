#pragma once

#include "model/ScriptText.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace quorvia {

class PromptScript;

namespace script_editor {

QString initialTitle();
QString ruleText();
QString labelCaption();
QString labelPlaceholder();
// The stored label, not what is typed later.
QString windowTitle(const QString& label, const QString& projectName);

struct Alert {
    QString message;
    QString informativeText;
    friend bool operator==(const Alert&, const Alert&) = default;
};

Alert invalidLabelAlert();
Alert missingBlockAlert();
// A block or script beyond the script limits, as a paste can make it.
Alert tooLargeAlert(ScriptText::SizeLimit limit);

// Why saving `label` and `text` into the edited block would fail, or none when
// it can be saved. A block that is gone is said to be gone, not blamed on the label.
std::optional<Alert> saveProblem(const PromptScript& script, const std::optional<QUuid>& editingBlockID,
                                 const QString& label, const QString& text);

} // namespace script_editor
} // namespace quorvia
