#include "keynote/PresentationSyncController.h"

#include "keynote/KeynoteController.h"
#include "model/PromptScript.h"

namespace quorvia {

namespace {

using Source = PresentationEventSource;
using Kind = PresentationSafetyState::Kind;

const QString enableFailedMessage =
    QStringLiteral("请先检测 Keynote，并确认实际播放文档身份和页数与绑定的 .key 文稿一致。");
const QString slideCountMismatchMessage = QStringLiteral("Keynote 与绑定的 .key 文稿页数不一致。");
const QString identityMismatchMessage = QStringLiteral("Keynote 实际播放文档与绑定的 .key 文稿身份不一致。");
const QString passiveListeningMessage = QStringLiteral("只监听人工翻页；主动同步当前暂停。");
const QString enabledPassiveMessage = QStringLiteral("已启用监听；开始 Keynote 放映或隐私输出后允许主动翻页。");
const QString waitingForOutputMessage = QStringLiteral("等待 Keynote 原生放映或隐私输出开始。");
const QString safetyRestoredMessage = QStringLiteral("安全状态已恢复；请确认当前位置后手动恢复主动同步。");
const QString privacyPausedMessage = QStringLiteral("隐私暂停期间只被动记录人工翻页，不发送 Keynote 指令。");
const QString pagingNotAllowedMessage = QStringLiteral("当前安全状态不允许主动翻页。");

Source eventSource(const platform::Notification& notification)
{
    const QVariant value = notification.userInfo.value(PromptScriptNotificationKey::eventSource);
    if (value.metaType().id() != QMetaType::QString)
        return Source::system;
    return presentationEventSourceFromRawValue(value.toString()).value_or(Source::system);
}

} // namespace

PresentationSyncController::PresentationSyncController(PromptScript& script, KeynoteController& keynote)
    : script_(script), keynote_(keynote)
{
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<Liveness> alive = liveness_;
    observers_.push_back(center.observe(NotificationName::promptScriptChanged, &script_,
                                        [this, alive](const platform::Notification& n) {
                                            if (!alive.expired())
                                                scriptChanged(n);
                                        }));
    observers_.push_back(center.observe(KeynoteController::keynoteConnectionStateChanged, &keynote_,
                                        [this, alive](const platform::Notification&) {
                                            if (!alive.expired())
                                                keynoteStateChanged();
                                        }));
    timeoutTimer_ = platform::Timer::scheduled(timeoutCheckInterval, true, [this, alive] {
        if (!alive.expired())
            checkTimeout();
    });
}

PresentationSyncController::~PresentationSyncController()
{
    cancelManualChange();
    if (timeoutTimer_)
        timeoutTimer_->invalidate();
    observers_.clear();
}

void PresentationSyncController::scriptChanged(const platform::Notification& notification)
{
    if (!isUserEnabled_)
        return;
    const Source source = eventSource(notification);
    if (source == Source::manualPrompt) {
        scheduleLatestManualSectionChange();
        return;
    }
    // Anything else supersedes a manual step that has not gone out yet.
    cancelManualChange();
    handleSectionChange(source, false);
}

void PresentationSyncController::scheduleLatestManualSectionChange()
{
    cancelManualChange();
    std::weak_ptr<Liveness> alive = liveness_;
    // Reads the section when it fires, so a burst of steps sends only where the speaker stopped.
    manualChangeWorkItem_ = platform::MainQueue::asyncAfter(manualChangeDebounce, [this, alive] {
        if (alive.expired())
            return;
        manualChangeWorkItem_.reset();
        handleSectionChange(Source::manualPrompt, false);
    });
}

void PresentationSyncController::cancelManualChange()
{
    if (manualChangeWorkItem_)
        manualChangeWorkItem_->cancel();
    manualChangeWorkItem_.reset();
}

void PresentationSyncController::handleSectionChange(Source source, bool allowWhileOutboundSuspended)
{
    copyCompletedSections();
    if (outboundSuspended_ && !allowWhileOutboundSuspended)
        return;
    apply(reducer_.sectionChanged(script_.currentIndex(), script_.slideMappings(), source, platform::uptime()));
}

void PresentationSyncController::apply(const SlideSyncDecision& decision)
{
    switch (decision.kind) {
    case SlideSyncDecision::Kind::sendSlide: {
        const qint64 slide = decision.number;
        std::weak_ptr<Liveness> alive = liveness_;
        keynote_.goToSlide(static_cast<int>(slide), [this, alive, slide](bool succeeded) {
            if (!alive.expired())
                slideCommandFinished(slide, succeeded);
        });
        break;
    }
    case SlideSyncDecision::Kind::selectSection:
        script_.setIndex(decision.number, decision.source);
        break;
    case SlideSyncDecision::Kind::conflict:
        outboundSuspended_ = true;
        if (!recoverableConflictSince_)
            recoverableConflictSince_ = platform::uptime();
        setStatus(PresentationSyncStatus::conflict(decision.message));
        break;
    case SlideSyncDecision::Kind::none:
        break;
    }
}

void PresentationSyncController::slideCommandFinished(qint64 slide, bool succeeded)
{
    if (!succeeded) {
        const SlideSyncDecision decision = reducer_.reportCommandFailure(slide, platform::uptime());
        // Sync was switched off meanwhile: a late failure must neither show a
        // conflict nor arm a recovery; enabling starts afresh.
        if (isUserEnabled_)
            apply(decision);
        return;
    }
    // Keynote confirmed a slide it already showed before the command (a quick
    // step back): its state did not change, so no echo will come by
    // notification. Take the confirmed state as the echo instead.
    const auto& state = keynote_.state();
    if (!isUserEnabled_ || !state.isReady() || state.currentSlide != slide || !deckSlideCountMatches()
        || !identityMatchesDeck())
        return;
    apply(reducer_.keynoteSlideObserved(slide, script_.slideMappings(), platform::uptime()));
}

void PresentationSyncController::keynoteStateChanged()
{
    if (!isUserEnabled_)
        return;
    const auto& state = keynote_.state();
    if (!state.isReady()) {
        outboundSuspended_ = true;
        setStatus(PresentationSyncStatus::suspended(state.detail()));
        return;
    }
    if (!deckSlideCountMatches()) {
        outboundSuspended_ = true;
        setStatus(PresentationSyncStatus::conflict(slideCountMismatchMessage));
        return;
    }
    if (!identityMatchesDeck()) {
        outboundSuspended_ = true;
        setStatus(PresentationSyncStatus::conflict(identityMismatchMessage));
        return;
    }
    // Following Keynote is always allowed, whatever outbound paging says.
    apply(reducer_.keynoteSlideObserved(state.currentSlide, script_.slideMappings(), platform::uptime()));
    // A command conflict stays visible until resumed; a document mismatch
    // shown before clears now that the check passed.
    if (status_.isConflict() && reducer_.isConflictPaused())
        return;
    recoverableConflictSince_.reset();
    automaticRecoveryAttempts_ = 0;
    setStatus(outboundSuspended_ ? PresentationSyncStatus::suspended(passiveListeningMessage)
                                 : PresentationSyncStatus::following(keynote_.state().currentSlide));
}

void PresentationSyncController::checkTimeout()
{
    if (!isUserEnabled_)
        return;
    const double now = platform::uptime();
    apply(reducer_.checkCommandTimeout(now));
    attemptAutomaticRecovery(now);
}

void PresentationSyncController::attemptAutomaticRecovery(double now)
{
    if (!recoverableConflictSince_ || now - *recoverableConflictSince_ < automaticRecoveryDelay)
        return;
    if (automaticRecoveryAttempts_ >= maximumAutomaticRecoveryAttempts)
        return;
    if (safetyState_ != PresentationSafetyState::live() || requiresManualResume_)
        return;
    if (!keynote_.state().isReady() || !deckSlideCountMatches() || !identityMatchesDeck())
        return;

    ++automaticRecoveryAttempts_;
    recoverableConflictSince_.reset();
    reducer_.resume(now);
    outboundSuspended_ = false;
    setStatus(PresentationSyncStatus::following(keynote_.state().currentSlide));
    handleSectionChange(Source::recovery, true);
}

void PresentationSyncController::setSafetyState(const PresentationSafetyState& state)
{
    safetyState_ = state;
    if (!isUserEnabled_)
        return;
    switch (state.kind()) {
    case Kind::disabled:
        outboundSuspended_ = true;
        setStatus(PresentationSyncStatus::suspended(waitingForOutputMessage));
        break;
    case Kind::live:
        outboundSuspended_ = reducer_.isConflictPaused() || requiresManualResume_;
        if (!outboundSuspended_)
            setStatus(PresentationSyncStatus::ready());
        else if (requiresManualResume_)
            setStatus(PresentationSyncStatus::suspended(safetyRestoredMessage));
        break;
    case Kind::privacyPaused:
        outboundSuspended_ = true;
        requiresManualResume_ = true;
        setStatus(PresentationSyncStatus::suspended(privacyPausedMessage));
        break;
    default:
        outboundSuspended_ = true;
        requiresManualResume_ = true;
        setStatus(PresentationSyncStatus::suspended(pagingNotAllowedMessage));
        break;
    }
}

bool PresentationSyncController::enable()
{
    const auto& state = keynote_.state();
    if (!script_.deck() || !state.isReady() || !deckSlideCountMatches() || !identityMatchesDeck()) {
        setStatus(PresentationSyncStatus::suspended(enableFailedMessage));
        return false;
    }
    isUserEnabled_ = true;
    outboundSuspended_ = safetyState_ != PresentationSafetyState::live();
    requiresManualResume_ = false;
    // Whatever failed while sync was off starts afresh.
    recoverableConflictSince_.reset();
    automaticRecoveryAttempts_ = 0;
    reducer_.resume(platform::uptime());
    copyCompletedSections();
    apply(reducer_.keynoteSlideObserved(state.currentSlide, script_.slideMappings(), platform::uptime()));
    keynote_.setMonitoringEnabled(true);
    setStatus(outboundSuspended_ ? PresentationSyncStatus::suspended(enabledPassiveMessage)
                                 : PresentationSyncStatus::following(keynote_.state().currentSlide));
    return true;
}

void PresentationSyncController::disable()
{
    cancelManualChange();
    isUserEnabled_ = false;
    outboundSuspended_ = true;
    requiresManualResume_ = false;
    recoverableConflictSince_.reset();
    automaticRecoveryAttempts_ = 0;
    keynote_.setMonitoringEnabled(false);
    setStatus(PresentationSyncStatus::disabled());
}

void PresentationSyncController::resumeAfterConflict()
{
    if (!isUserEnabled_)
        return;
    cancelManualChange();
    reducer_.resume(platform::uptime());
    requiresManualResume_ = false;
    recoverableConflictSince_.reset();
    automaticRecoveryAttempts_ = 0;
    outboundSuspended_ = safetyState_ != PresentationSafetyState::live();
    if (!outboundSuspended_) {
        setStatus(PresentationSyncStatus::ready());
        handleSectionChange(Source::recovery, true);
    } else {
        setStatus(PresentationSyncStatus::suspended(pagingNotAllowedMessage));
    }
}

void PresentationSyncController::shutdown()
{
    cancelManualChange();
    if (timeoutTimer_)
        timeoutTimer_->invalidate();
    timeoutTimer_.reset();
    keynote_.stop();
}

void PresentationSyncController::sendCurrentSectionManually()
{
    if (!isUserEnabled_)
        return;
    handleSectionChange(Source::manualPrompt, safetyState_ == PresentationSafetyState::live());
}

void PresentationSyncController::copyCompletedSections()
{
    for (qint64 index : script_.completedSections())
        reducer_.markSectionCompleted(index);
}

bool PresentationSyncController::deckSlideCountMatches() const
{
    const auto& deck = script_.deck();
    const auto& state = keynote_.state();
    return deck && state.isReady() && deck->slideCount() == state.slideCount;
}

bool PresentationSyncController::identityMatchesDeck() const
{
    const auto& deck = script_.deck();
    const auto& identity = keynote_.documentIdentity();
    return deck && identity && identity->matches(*deck);
}

void PresentationSyncController::setStatus(const PresentationSyncStatus& status)
{
    if (status == status_)
        return;
    status_ = status;
    platform::NotificationCenter::defaultCenter().post(presentationSyncStatusChanged, this);
}

} // namespace quorvia
