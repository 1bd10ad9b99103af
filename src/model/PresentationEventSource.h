#pragma once

#include <QString>

#include <optional>

namespace quorvia {

// What caused a change of the current section or slide.
enum class PresentationEventSource {
    manualPrompt,
    keynoteManual,
    speech,
    keyword,
    fixedScroll,
    commandEcho,
    recovery,
    system,
};

QString rawValue(PresentationEventSource source);
// Exact, case-sensitive match of a raw value; nothing for any other text.
std::optional<PresentationEventSource> presentationEventSourceFromRawValue(const QString& raw);
// Speech, keyword and fixed-speed scrolling move the script by themselves.
bool isAutomatic(PresentationEventSource source);

} // namespace quorvia
