#pragma once

#include <QString>

namespace quorvia {

// Posted by the script model with the model as sender.
namespace NotificationName {
inline const QString promptScriptChanged = QStringLiteral("PromptScriptChanged");
inline const QString presentationProjectsChanged = QStringLiteral("PresentationProjectsChanged");
inline const QString presentationDeckChanged = QStringLiteral("PresentationDeckChanged");
inline const QString presentationModeChanged = QStringLiteral("PresentationModeChanged");
inline const QString keynoteNotesBackupChanged = QStringLiteral("KeynoteNotesBackupChanged");
} // namespace NotificationName

// User-info keys of "PromptScriptChanged".
namespace PromptScriptNotificationKey {
// Holds the raw value of the PresentationEventSource that caused the change.
inline const QString eventSource = QStringLiteral("eventSource");
} // namespace PromptScriptNotificationKey

} // namespace quorvia
