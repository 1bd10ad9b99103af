#pragma once

namespace quorvia {

// Where the spoken text was placed in a section, with the evidence for it.
// Positions are UTF-16 offsets into the section text as passed in.
struct SpeechAlignmentResult {
    int progressUTF16 = 0;
    double confidence = 0.0;   // share of exactly matching characters on the aligned stretch
    int matchedCharacters = 0; // exactly matching character pairs on the aligned stretch
    bool didJumpForward = false;

    friend bool operator==(const SpeechAlignmentResult&, const SpeechAlignmentResult&) = default;
};

} // namespace quorvia
