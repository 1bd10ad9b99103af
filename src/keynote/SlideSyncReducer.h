#pragma once

#include "keynote/SlideSyncDecision.h"
#include "keynote/SyncAuditEvent.h"
#include "model/PresentationEventSource.h"

#include <QtGlobal>

#include <map>
#include <optional>
#include <set>
#include <vector>

namespace quorvia {

// Per section index, the slide mapped to it, or nothing.
using SlideMappings = std::vector<std::optional<qint64>>;

// The decision core of two-way sync between the script's current section and
// Keynote's current slide. Pure: no clock, no timers, no notifications; the
// caller passes the uptime and the mappings with every call.
class SlideSyncReducer {
public:
    static constexpr double echoTimeout = 2.5;
    static constexpr double manualPriorityWindow = 2.0;
    static constexpr std::size_t auditTrailLimit = 120;

    SlideSyncDecision sectionChanged(qint64 index, const SlideMappings& mappings, PresentationEventSource source,
                                     double now);
    SlideSyncDecision keynoteSlideObserved(qint64 slide, const SlideMappings& mappings, double now);
    SlideSyncDecision checkCommandTimeout(double now);
    SlideSyncDecision reportCommandFailure(qint64 slideNumber, double now);
    void resume(double now);
    void markSectionCompleted(qint64 index);
    void resetCompletion();

    const std::optional<qint64>& lastObservedSlide() const { return lastObservedSlide_; }
    const std::map<qint64, qint64>& lastVisitedSectionBySlide() const { return lastVisitedSectionBySlide_; }
    const std::set<qint64>& completedSections() const { return completedSections_; }
    bool isConflictPaused() const { return isConflictPaused_; }
    const std::vector<SyncAuditEvent>& auditTrail() const { return auditTrail_; }

    static inline const QString timeoutMessage = QStringLiteral("Keynote 未在时限内读回目标页，自动翻页已暂停");
    static inline const QString failureMessage = QStringLiteral("Keynote 定向切页失败，已降级为人工控制");

private:
    struct PendingCommand {
        qint64 slideNumber = 0;
        qint64 sectionIndex = 0;
        PresentationEventSource source = PresentationEventSource::system;
        double sentAt = 0;
    };

    std::optional<qint64> preferredSection(qint64 slide, const SlideMappings& mappings) const;
    void appendAudit(double now, PresentationEventSource source, std::optional<qint64> slide,
                     std::optional<qint64> section, SyncAuditEvent::Outcome outcome);
    SlideSyncDecision acceptNewSlide(qint64 slide, const SlideMappings& mappings, double now,
                                     SyncAuditEvent::Outcome outcome);

    std::optional<qint64> lastObservedSlide_;
    std::map<qint64, qint64> lastVisitedSectionBySlide_;
    std::set<qint64> completedSections_;
    bool isConflictPaused_ = false;
    std::vector<SyncAuditEvent> auditTrail_;
    std::optional<PendingCommand> pendingCommand_;
    double automaticSuppressedUntil_ = 0;
};

} // namespace quorvia
