#include "keynote/KeynoteController.h"

#include "keynote/KeynoteScripts.h"

#include <algorithm>

namespace quorvia {

namespace {

using NotesResult = std::expected<KeynoteScripts::Notes, KeynotePresenterNotesError>;
using ReplaceResult = std::expected<void, KeynotePresenterNotesError>;

} // namespace

std::optional<QString> KeynoteController::notesOperationTarget(const KeynoteDocumentIdentity& expectedIdentity,
                                                               qint64 expectedSlideCount, qint64 lowestSlide,
                                                               qint64 highestSlide) const
{
    // Notes are never touched while the slideshow plays or another script runs.
    const bool documentReady = state_.isReady() && !state_.isPlaying && state_.slideCount == expectedSlideCount
        && documentIdentity_ == expectedIdentity;
    if (!documentReady || lowestSlide < 1 || highestSlide > state_.slideCount || isProbeInFlight_)
        return std::nullopt;
    return runningBundleIdentifier();
}

template <typename Result>
std::function<void(Result, bool)> KeynoteController::finishNotesOperation(std::function<void(Result)> complete)
{
    return [this, complete = std::move(complete)](Result result, bool isStale) {
        if (isStale) {
            complete(std::unexpected(KeynotePresenterNotesError::unavailable));
            return;
        }
        const Alive stillHere = alive();
        complete(std::move(result));
        if (!stillHere.expired())
            performProbe(false);
    };
}

void KeynoteController::readPresenterNotes(std::vector<qint64> slideNumbers,
                                           const KeynoteDocumentIdentity& expectedIdentity, qint64 expectedSlideCount,
                                           NotesReadCompletion completion)
{
    requireMainThread();
    std::sort(slideNumbers.begin(), slideNumbers.end());
    slideNumbers.erase(std::unique(slideNumbers.begin(), slideNumbers.end()), slideNumbers.end());
    const auto running = slideNumbers.empty()
        ? std::nullopt
        : notesOperationTarget(expectedIdentity, expectedSlideCount, slideNumbers.front(), slideNumbers.back());
    if (!running) {
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
        finishNotesOperation<NotesResult>(
            [expectedIdentity, expectedSlideCount, completion = std::move(completion)](NotesResult result) {
                if (!result) {
                    completion(std::unexpected(result.error()));
                    return;
                }
                completion(KeynotePresenterNotesBackup{expectedIdentity.name, expectedIdentity.filePath,
                                                       expectedSlideCount, std::move(*result)});
            }));
}

void KeynoteController::replacePresenterNotes(std::map<qint64, QString> notes,
                                              const KeynoteDocumentIdentity& expectedIdentity,
                                              qint64 expectedSlideCount, NotesReplaceCompletion completion)
{
    requireMainThread();
    const auto running = notes.empty()
        ? std::nullopt
        : notesOperationTarget(expectedIdentity, expectedSlideCount, notes.begin()->first, notes.rbegin()->first);
    if (!running) {
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
        finishNotesOperation<ReplaceResult>(std::move(completion)));
}

} // namespace quorvia
