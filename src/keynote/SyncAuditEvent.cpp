#include "keynote/SyncAuditEvent.h"

#include <array>

namespace quorvia {
namespace {

using Outcome = SyncAuditEvent::Outcome;

constexpr std::array allOutcomes = {
    Outcome::observed,       Outcome::commandSent,         Outcome::echoSuppressed, Outcome::sameSlide,
    Outcome::manualOverride, Outcome::automaticSuppressed, Outcome::conflict,       Outcome::resumed,
};

} // namespace

QString rawValue(SyncAuditEvent::Outcome outcome)
{
    switch (outcome) {
    case Outcome::observed: return QStringLiteral("observed");
    case Outcome::commandSent: return QStringLiteral("commandSent");
    case Outcome::echoSuppressed: return QStringLiteral("echoSuppressed");
    case Outcome::sameSlide: return QStringLiteral("sameSlide");
    case Outcome::manualOverride: return QStringLiteral("manualOverride");
    case Outcome::automaticSuppressed: return QStringLiteral("automaticSuppressed");
    case Outcome::conflict: return QStringLiteral("conflict");
    case Outcome::resumed: return QStringLiteral("resumed");
    }
    return {};
}

std::optional<SyncAuditEvent::Outcome> syncAuditOutcomeFromRawValue(const QString& raw)
{
    for (Outcome outcome : allOutcomes) {
        if (rawValue(outcome) == raw)
            return outcome;
    }
    return std::nullopt;
}

} // namespace quorvia
