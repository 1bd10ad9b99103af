#pragma once

#include "speech/SpeechAlignmentResult.h"

#include <QString>

namespace quorvia {

// Places the most recent speech inside a section by local alignment against a
// window around the position reached so far. The position never moves back,
// and a long move forward needs stronger evidence than a short one.
class SpeechAlignmentEngine {
public:
    SpeechAlignmentEngine() = delete;

    // Characters of speech that take part (the most recent ones).
    static constexpr int queryLength = 180;
    // The window reaches this many characters before the anchor, and up to
    // windowAfter characters from the anchor on.
    static constexpr int windowBefore = 28;
    static constexpr int windowAfter = 420;
    // Moves longer than this (UTF-16 units) need the long-jump evidence.
    static constexpr int shortJumpLimit = 240;
    // Accepted moves longer than this count as a jump forward.
    static constexpr int jumpForwardThreshold = 80;

    static SpeechAlignmentResult align(const QString& recognizedText, const QString& sectionText,
                                       int previousProgressUTF16);
};

} // namespace quorvia
