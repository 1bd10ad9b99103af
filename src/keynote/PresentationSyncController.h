#pragma once

#include "keynote/PresentationSyncStatus.h"
#include "keynote/SlideSyncReducer.h"
#include "model/PresentationEventSource.h"
#include "platform/core/MainQueue.h"
#include "platform/core/NotificationCenter.h"
#include "privacy/PresentationSafetyState.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quorvia {

class KeynoteController;
class PromptScript;

// Keeps the script's current section and Keynote's current slide in step, both
// ways. Following Keynote is always allowed once the speaker switched sync on;
// paging Keynote depends on the safety state, the bound document and conflicts.
// Main thread only.
class PresentationSyncController {
public:
    // Posted with the controller as sender and no user info.
    static inline const QString presentationSyncStatusChanged = QStringLiteral("PresentationSyncStatusChanged");

    static constexpr double manualChangeDebounce = 0.2;
    static constexpr double automaticRecoveryDelay = 1.0;
    static constexpr int maximumAutomaticRecoveryAttempts = 3;
    static constexpr double timeoutCheckInterval = 0.5;

    PresentationSyncController(PromptScript& script, KeynoteController& keynote);
    ~PresentationSyncController();
    PresentationSyncController(const PresentationSyncController&) = delete;
    PresentationSyncController& operator=(const PresentationSyncController&) = delete;

    bool isEnabled() const { return isUserEnabled_; }
    const PresentationSyncStatus& status() const { return status_; }
    const std::vector<SyncAuditEvent>& auditTrail() const { return reducer_.auditTrail(); }

    // Switches sync on when Keynote shows the bound document with its slide count.
    bool enable();
    void disable();
    void resumeAfterConflict();
    void setSafetyState(const PresentationSafetyState& state);
    void shutdown();
    void sendCurrentSectionManually();

private:
    struct Liveness {};

    void scriptChanged(const platform::Notification& notification);
    void scheduleLatestManualSectionChange();
    void cancelManualChange();
    void handleSectionChange(PresentationEventSource source, bool allowWhileOutboundSuspended);
    void apply(const SlideSyncDecision& decision);
    void slideCommandFinished(qint64 slide, bool succeeded);
    void keynoteStateChanged();
    void checkTimeout();
    void attemptAutomaticRecovery(double now);
    void copyCompletedSections();
    bool deckSlideCountMatches() const;
    bool identityMatchesDeck() const;
    void setStatus(const PresentationSyncStatus& status);

    PromptScript& script_;
    KeynoteController& keynote_;
    SlideSyncReducer reducer_;
    std::vector<platform::Observation> observers_;
    std::unique_ptr<platform::Timer> timeoutTimer_;
    PresentationSafetyState safetyState_ = PresentationSafetyState::disabled();
    bool isUserEnabled_ = false;
    bool outboundSuspended_ = true;
    bool requiresManualResume_ = false;
    std::optional<platform::DelayedCall> manualChangeWorkItem_;
    std::optional<double> recoverableConflictSince_;
    int automaticRecoveryAttempts_ = 0;
    PresentationSyncStatus status_ = PresentationSyncStatus::disabled();
    std::shared_ptr<Liveness> liveness_ = std::make_shared<Liveness>();
};

} // namespace quorvia
