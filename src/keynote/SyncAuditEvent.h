#pragma once

#include "model/PresentationEventSource.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace quorvia {

// One entry of the slide sync's bounded record of what it decided.
struct SyncAuditEvent {
    enum class Outcome {
        observed,
        commandSent,
        echoSuppressed,
        sameSlide,
        manualOverride,
        automaticSuppressed,
        conflict,
        resumed,
    };

    double timestamp = 0; // seconds of system uptime
    PresentationEventSource source = PresentationEventSource::system;
    std::optional<qint64> slideNumber;
    std::optional<qint64> sectionIndex;
    Outcome outcome = Outcome::observed;

    bool operator==(const SyncAuditEvent&) const = default;
};

QString rawValue(SyncAuditEvent::Outcome outcome);
// Exact match of a raw value; nothing for any other text.
std::optional<SyncAuditEvent::Outcome> syncAuditOutcomeFromRawValue(const QString& raw);

} // namespace quorvia
