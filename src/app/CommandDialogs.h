#pragma once

#include "platform/dialogs/DialogService.h"

#include <QString>

#include <vector>

namespace quorvia::CommandDialogs {

inline const QString acknowledgeTitle = QStringLiteral("知道了");
inline const QString cancelTitle = QStringLiteral("取消");

// Activates the application, then runs the alert modally.
platform::AlertResponse run(const platform::AlertRequest& request);
// True only for the first button.
bool confirm(platform::AlertStyle style, const QString& message, const QString& informative,
             const QString& confirmTitle, const QString& cancel = cancelTitle);
// An alert with the one button "知道了".
void acknowledge(platform::AlertStyle style, const QString& message, const QString& informative);

} // namespace quorvia::CommandDialogs
