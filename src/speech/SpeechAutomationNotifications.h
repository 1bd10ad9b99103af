#pragma once

#include <QString>

namespace quorvia::NotificationName {

// Posted by SpeechAutomationController, with the controller as sender, when
// its status really changes and on every setOutputRouteVerified.
inline const QString speechAutomationStatusChanged = QStringLiteral("SpeechAutomationStatusChanged");

} // namespace quorvia::NotificationName
