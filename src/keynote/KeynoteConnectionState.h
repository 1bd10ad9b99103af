#pragma once

#include <QString>

namespace quorvia {

// What the Keynote controller last observed.
struct KeynoteConnectionState {
    enum class Kind {
        ready,
        checking,
        notInstalled,
        notRunning,
        noDocument,
        automationDenied,
        unavailable,
    };

    Kind kind = Kind::notRunning;
    // Meaningful only for ready; zero and false otherwise.
    int currentSlide = 0;
    int slideCount = 0;
    bool isPlaying = false;

    static KeynoteConnectionState ready(int currentSlide, int slideCount, bool isPlaying)
    {
        return {Kind::ready, currentSlide, slideCount, isPlaying};
    }
    static KeynoteConnectionState checking() { return of(Kind::checking); }
    static KeynoteConnectionState notInstalled() { return of(Kind::notInstalled); }
    static KeynoteConnectionState notRunning() { return of(Kind::notRunning); }
    static KeynoteConnectionState noDocument() { return of(Kind::noDocument); }
    static KeynoteConnectionState automationDenied() { return of(Kind::automationDenied); }
    static KeynoteConnectionState unavailable() { return of(Kind::unavailable); }

    bool isReady() const { return kind == Kind::ready; }
    QString title() const;
    QString detail() const;

    bool operator==(const KeynoteConnectionState&) const = default;

private:
    static KeynoteConnectionState of(Kind kind)
    {
        KeynoteConnectionState state;
        state.kind = kind;
        return state;
    }
};

} // namespace quorvia
