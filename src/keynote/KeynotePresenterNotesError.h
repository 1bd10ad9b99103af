#pragma once

namespace quorvia {

// Why a presenter-notes read or replacement failed; callers word it.
enum class KeynotePresenterNotesError {
    invalidState,     // refused before anything was sent to Keynote
    documentMismatch, // the front document is not the expected one, or there is none
    automationDenied,
    unavailable,
};

} // namespace quorvia
