#pragma once

#include "model/PromptMode.h"

#include <QString>

namespace quorvia {

// What speech automation is doing, as the panels show it. Equal when the kind
// and the payload of that kind are equal.
struct SpeechAutomationStatus {
    enum class Kind { calibrating, listening, degraded, unavailable, calibrationRequired, ready, questionPaused };

    Kind kind = Kind::ready;
    int secondsRemaining = 0;                   // calibrating only
    PromptMode mode = PromptMode::wordFollow; // listening only
    QString message;                            // degraded and unavailable only

    static SpeechAutomationStatus calibrating(int secondsRemaining) { return {Kind::calibrating, secondsRemaining, {}, {}}; }
    static SpeechAutomationStatus listening(PromptMode mode) { return {Kind::listening, 0, mode, {}}; }
    static SpeechAutomationStatus degraded(const QString& message) { return {Kind::degraded, 0, {}, message}; }
    static SpeechAutomationStatus unavailable(const QString& message) { return {Kind::unavailable, 0, {}, message}; }
    static SpeechAutomationStatus calibrationRequired() { return {Kind::calibrationRequired, 0, {}, {}}; }
    static SpeechAutomationStatus ready() { return {Kind::ready, 0, {}, {}}; }
    static SpeechAutomationStatus questionPaused() { return {Kind::questionPaused, 0, {}, {}}; }

    // The short label.
    QString title() const;
    // The explanatory sentence.
    QString detail() const;

    friend bool operator==(const SpeechAutomationStatus& a, const SpeechAutomationStatus& b)
    {
        if (a.kind != b.kind)
            return false;
        switch (a.kind) {
        case Kind::calibrating: return a.secondsRemaining == b.secondsRemaining;
        case Kind::listening: return a.mode == b.mode;
        case Kind::degraded:
        case Kind::unavailable: return a.message == b.message;
        default: return true;
        }
    }
};

} // namespace quorvia
