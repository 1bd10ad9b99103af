#include "model/PresentationEventSource.h"

#include <array>

namespace quorvia {

namespace {
constexpr std::array allSources{
    PresentationEventSource::manualPrompt, PresentationEventSource::keynoteManual, PresentationEventSource::speech,
    PresentationEventSource::keyword,      PresentationEventSource::fixedScroll,   PresentationEventSource::commandEcho,
    PresentationEventSource::recovery,     PresentationEventSource::system,
};
} // namespace

QString rawValue(PresentationEventSource source)
{
    switch (source) {
    case PresentationEventSource::manualPrompt: return QStringLiteral("manualPrompt");
    case PresentationEventSource::keynoteManual: return QStringLiteral("keynoteManual");
    case PresentationEventSource::speech: return QStringLiteral("speech");
    case PresentationEventSource::keyword: return QStringLiteral("keyword");
    case PresentationEventSource::fixedScroll: return QStringLiteral("fixedScroll");
    case PresentationEventSource::commandEcho: return QStringLiteral("commandEcho");
    case PresentationEventSource::recovery: return QStringLiteral("recovery");
    case PresentationEventSource::system: return QStringLiteral("system");
    }
    return QString();
}

std::optional<PresentationEventSource> presentationEventSourceFromRawValue(const QString& raw)
{
    for (auto source : allSources)
        if (rawValue(source) == raw)
            return source;
    return std::nullopt;
}

bool isAutomatic(PresentationEventSource source)
{
    return source == PresentationEventSource::speech || source == PresentationEventSource::keyword
        || source == PresentationEventSource::fixedScroll;
}

} // namespace quorvia
