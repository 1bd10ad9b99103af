#pragma once

#include "model/PresentationEventSource.h"

#include <QString>
#include <QtGlobal>

namespace quorvia {

// What the slide sync reducer asks its owner to carry out.
struct SlideSyncDecision {
    enum class Kind {
        sendSlide,     // make Keynote show `number`
        selectSection, // make section `number` current in the script
        conflict,      // automatic sending is paused; `message` is for the speaker
        none,
    };

    Kind kind = Kind::none;
    qint64 number = 0;
    PresentationEventSource source = PresentationEventSource::system;
    QString message;

    static SlideSyncDecision sendSlide(qint64 slide, PresentationEventSource source)
    {
        return {Kind::sendSlide, slide, source, {}};
    }
    static SlideSyncDecision selectSection(qint64 section, PresentationEventSource source)
    {
        return {Kind::selectSection, section, source, {}};
    }
    static SlideSyncDecision conflict(const QString& message)
    {
        return {Kind::conflict, 0, PresentationEventSource::system, message};
    }
    static SlideSyncDecision none() { return {}; }

    bool operator==(const SlideSyncDecision&) const = default;
};

} // namespace quorvia
