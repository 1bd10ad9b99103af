#include "keynote/KeynoteController.h"

#include "keynote/KeynoteScripts.h"

#include <algorithm>

namespace quorvia {

namespace {

using NotesResult = std::expected<KeynoteScripts::Notes, KeynotePresenterNotesError>;
using ReplaceResult = std::expected<void, KeynotePresenterNotesError>;

} // namespace

void KeynoteController::readPresenterNotes(std::vector<qint64> slideNumbers,
                                           const KeynoteDocumentIdentity& expectedIdentity, qint64 expectedSlideCount,
                                           NotesReadCompletion completion)
{
    requireMainThread();
    std::sort(slideNumbers.begin(), slideNumbers.end());
    slideNumbers.erase(std::unique(slideNumbers.begin(), slideNumbers.end()), slideNumbers.end());

    // Notes are never touched while the slideshow plays or another script runs.
    const bool documentReady = state_.isReady() && !state_.isPlaying && state_.slideCount == expectedSlideCount
        && documentIdentity_ == expectedIdentity;
    const bool slidesValid = !slideNumbers.empty() && slideNumbers.front() >= 1
        && slideNumbers.back() <= state_.slideCount;
    const auto running = documentReady && slidesValid ? runningBundleIdentifier() : std::nullopt;
    if (!running || isProbeInFlight_) {
        completion(std::unexpected(KeynotePresenterNotesError::invalidState));
        return;
    }

    startRun<NotesResult>(
        *running,
        [slideNumbers, expectedIdentity, expectedSlideCount](platform::ScriptRunner& runner,
                                                             const QString& bundleIdentifier) {
            return KeynoteScripts::readPresenterNotes(runner, slideNumbers, expectedIdentity, expectedSlideCount,
                                                      bundleIdentifier);
        },
        [this, expectedIdentity, expectedSlideCount, completion = std::move(completion)](NotesResult result,
                                                                                         bool isStale) {
            if (isStale) {
                completion(std::unexpected(KeynotePresenterNotesError::unavailable));
                return;
            }
            const Alive stillHere = alive();
            if (result)
                completion(KeynotePresenterNotesBackup{expectedIdentity.name, expectedIdentity.filePath,
                                                       expectedSlideCount, std::move(*result)});
            else
                completion(std::unexpected(result.error()));
            if (!stillHere.expired())
                performProbe(false);
        });
}

void KeynoteController::replacePresenterNotes(std::map<qint64, QString> notes,
                                              const KeynoteDocumentIdentity& expectedIdentity,
                                              qint64 expectedSlideCount, NotesReplaceCompletion completion)
{
    requireMainThread();
    const bool documentReady = state_.isReady() && !state_.isPlaying && state_.slideCount == expectedSlideCount
        && documentIdentity_ == expectedIdentity;
    const bool slidesValid = !notes.empty() && notes.begin()->first >= 1 && notes.rbegin()->first <= state_.slideCount;
    const auto running = documentReady && slidesValid ? runningBundleIdentifier() : std::nullopt;
    if (!running || isProbeInFlight_) {
        completion(std::unexpected(KeynotePresenterNotesError::invalidState));
        return;
    }

    startRun<ReplaceResult>(
        *running,
        [notes = std::move(notes), expectedIdentity, expectedSlideCount](platform::ScriptRunner& runner,
                                                                         const QString& bundleIdentifier) {
            return KeynoteScripts::replacePresenterNotes(runner, notes, expectedIdentity, expectedSlideCount,
                                                         bundleIdentifier);
        },
        [this, completion = std::move(completion)](ReplaceResult result, bool isStale) {
            if (isStale) {
                completion(std::unexpected(KeynotePresenterNotesError::unavailable));
                return;
            }
            const Alive stillHere = alive();
            completion(result);
            if (!stillHere.expired())
                performProbe(false);
        });
}

} // namespace quorvia
