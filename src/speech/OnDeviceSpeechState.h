#pragma once

#include <QString>

namespace quorvia {

// The recogniser's state. Equal when the kind matches and, for unavailable
// and failed, the messages match.
struct OnDeviceSpeechState {
    enum class Kind { unavailable, failed, idle, preparing, listening };

    Kind kind = Kind::idle;
    QString message; // unavailable and failed only

    static OnDeviceSpeechState unavailable(const QString& message) { return {Kind::unavailable, message}; }
    static OnDeviceSpeechState failed(const QString& message) { return {Kind::failed, message}; }
    static OnDeviceSpeechState idle() { return {Kind::idle, {}}; }
    static OnDeviceSpeechState preparing() { return {Kind::preparing, {}}; }
    static OnDeviceSpeechState listening() { return {Kind::listening, {}}; }

    // The one sentence that describes the state.
    QString detail() const;

    friend bool operator==(const OnDeviceSpeechState& a, const OnDeviceSpeechState& b)
    {
        if (a.kind != b.kind)
            return false;
        return (a.kind != Kind::unavailable && a.kind != Kind::failed) || a.message == b.message;
    }
};

// One transcription result; a volatile one (not final) is replaced by later ones.
struct OnDeviceSpeechResult {
    QString text;
    bool isFinal = false;
    friend bool operator==(const OnDeviceSpeechResult&, const OnDeviceSpeechResult&) = default;
};

} // namespace quorvia
