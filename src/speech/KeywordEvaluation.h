#pragma once

namespace quorvia {

// How much of a section's key phrases the speaker has said.
struct KeywordEvaluation {
    double coverage = 0.0; // matched keywords / keywords; 0 when there are none
    int matchedCount = 0;
    int requiredCount = 1;

    bool isComplete() const { return matchedCount >= requiredCount && coverage >= 0.8; }

    friend bool operator==(const KeywordEvaluation&, const KeywordEvaluation&) = default;
};

} // namespace quorvia
