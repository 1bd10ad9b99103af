#include "keynote/SlideSyncReducer.h"

#include <algorithm>

namespace quorvia {

using Outcome = SyncAuditEvent::Outcome;
using Source = PresentationEventSource;

SlideSyncDecision SlideSyncReducer::sectionChanged(qint64 index, const SlideMappings& mappings, Source source,
                                                   double now)
{
    if (index < 0 || index >= static_cast<qint64>(mappings.size()) || !mappings[index])
        return SlideSyncDecision::none();
    const qint64 slide = *mappings[index];
    lastVisitedSectionBySlide_[slide] = index;

    // Caused by Keynote or by our own selection: nothing to send back.
    if (source == Source::keynoteManual || source == Source::commandEcho)
        return SlideSyncDecision::none();

    if (isAutomatic(source) && (isConflictPaused_ || now < automaticSuppressedUntil_)) {
        appendAudit(now, source, slide, index, Outcome::automaticSuppressed);
        return SlideSyncDecision::none();
    }

    // A command for another slide may still move Keynote away from the slide
    // it shows, so only a settled Keynote counts as already being there.
    const bool awaitingOtherSlide = pendingCommand_ && pendingCommand_->slideNumber != slide;
    if (lastObservedSlide_ == slide && !awaitingOtherSlide) {
        appendAudit(now, source, slide, index, Outcome::sameSlide);
        return SlideSyncDecision::none();
    }

    pendingCommand_ = PendingCommand{slide, index, source, now};
    appendAudit(now, source, slide, index, Outcome::commandSent);
    return SlideSyncDecision::sendSlide(slide, source);
}

SlideSyncDecision SlideSyncReducer::keynoteSlideObserved(qint64 slide, const SlideMappings& mappings, double now)
{
    if (pendingCommand_) {
        const double elapsed = now - pendingCommand_->sentAt;
        if (slide == pendingCommand_->slideNumber && elapsed <= echoTimeout) {
            const qint64 section = pendingCommand_->sectionIndex;
            pendingCommand_.reset();
            lastObservedSlide_ = slide;
            appendAudit(now, Source::commandEcho, slide, section, Outcome::echoSuppressed);
            return SlideSyncDecision::none();
        }
        if (lastObservedSlide_ != slide && elapsed <= echoTimeout) {
            pendingCommand_.reset();
            return acceptNewSlide(slide, mappings, now, Outcome::manualOverride);
        }
    }
    if (lastObservedSlide_ == slide)
        return SlideSyncDecision::none();
    return acceptNewSlide(slide, mappings, now, Outcome::observed);
}

SlideSyncDecision SlideSyncReducer::acceptNewSlide(qint64 slide, const SlideMappings& mappings, double now,
                                                   Outcome outcome)
{
    // The speaker paged in Keynote: hold automation back so the hand wins.
    automaticSuppressedUntil_ = now + manualPriorityWindow;
    lastObservedSlide_ = slide;
    const auto section = preferredSection(slide, mappings);
    appendAudit(now, Source::keynoteManual, slide, section, outcome);
    if (!section)
        return SlideSyncDecision::none();
    return SlideSyncDecision::selectSection(*section, Source::keynoteManual);
}

SlideSyncDecision SlideSyncReducer::checkCommandTimeout(double now)
{
    if (!pendingCommand_ || now - pendingCommand_->sentAt <= echoTimeout)
        return SlideSyncDecision::none();
    const PendingCommand timedOut = *pendingCommand_;
    pendingCommand_.reset();
    isConflictPaused_ = true;
    appendAudit(now, timedOut.source, timedOut.slideNumber, timedOut.sectionIndex, Outcome::conflict);
    return SlideSyncDecision::conflict(timeoutMessage);
}

SlideSyncDecision SlideSyncReducer::reportCommandFailure(qint64 slideNumber, double now)
{
    const auto failed = pendingCommand_;
    pendingCommand_.reset();
    isConflictPaused_ = true;
    appendAudit(now, failed ? failed->source : Source::system, slideNumber,
                failed ? std::optional<qint64>(failed->sectionIndex) : std::nullopt, Outcome::conflict);
    return SlideSyncDecision::conflict(failureMessage);
}

void SlideSyncReducer::resume(double now)
{
    pendingCommand_.reset();
    isConflictPaused_ = false;
    automaticSuppressedUntil_ = now + manualPriorityWindow;
    appendAudit(now, Source::recovery, lastObservedSlide_, std::nullopt, Outcome::resumed);
}

void SlideSyncReducer::markSectionCompleted(qint64 index) { completedSections_.insert(index); }

void SlideSyncReducer::resetCompletion()
{
    completedSections_.clear();
    lastVisitedSectionBySlide_.clear();
}

std::optional<qint64> SlideSyncReducer::preferredSection(qint64 slide, const SlideMappings& mappings) const
{
    std::vector<qint64> candidates;
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        if (mappings[i] == slide)
            candidates.push_back(static_cast<qint64>(i));
    }
    if (candidates.empty())
        return std::nullopt;
    for (qint64 candidate : candidates) {
        if (!completedSections_.contains(candidate))
            return candidate;
    }
    // Every section of this slide is done: go back to where the speaker was last.
    if (const auto visited = lastVisitedSectionBySlide_.find(slide); visited != lastVisitedSectionBySlide_.end()) {
        if (std::find(candidates.begin(), candidates.end(), visited->second) != candidates.end())
            return visited->second;
    }
    return candidates.back();
}

void SlideSyncReducer::appendAudit(double now, Source source, std::optional<qint64> slide,
                                   std::optional<qint64> section, Outcome outcome)
{
    auditTrail_.push_back(SyncAuditEvent{now, source, slide, section, outcome});
    if (auditTrail_.size() > auditTrailLimit)
        auditTrail_.erase(auditTrail_.begin(), auditTrail_.begin() + (auditTrail_.size() - auditTrailLimit));
}

} // namespace quorvia
