#include "privacy/DisplayTopology.h"

#include "platform/Platform.h"
#include "platform/core/Text.h"

#include <QStringList>

#include <algorithm>

namespace quorvia {

using platform::DisplayID;
using platform::Screen;

namespace {
std::vector<Screen> identifiedScreens()
{
    std::vector<Screen> screens = platform::current().displays().screens();
    std::erase_if(screens, [](const Screen& s) { return !s.displayID; });
    return screens;
}
} // namespace

std::optional<Screen> DisplayTopology::builtInScreen()
{
    for (const Screen& s : identifiedScreens())
        if (s.isBuiltIn)
            return s;
    return std::nullopt;
}

std::optional<Screen> DisplayTopology::safetyOverlayScreen()
{
    if (auto screen = builtInScreen())
        return screen;
    for (const Screen& s : identifiedScreens())
        if (s.isBuiltInPendingWindowSystem)
            return s;
    return std::nullopt;
}

std::vector<Screen> DisplayTopology::externalScreens()
{
    std::vector<Screen> screens = identifiedScreens();
    std::erase_if(screens, [](const Screen& s) { return s.isBuiltIn || s.isBuiltInPendingWindowSystem; });
    return screens;
}

std::optional<Screen> DisplayTopology::screen(DisplayID id)
{
    for (const Screen& s : identifiedScreens())
        if (s.displayID == id)
            return s;
    return std::nullopt;
}

QString DisplayTopology::stableKey(const Screen& s)
{
    // No escaping: a ":" inside the name stays as it is.
    return QStringList{QString::number(s.vendorNumber), QString::number(s.modelNumber),
                       QString::number(s.serialNumber), QString::number(s.unitNumber), s.localizedName}
        .join(QLatin1Char(':'));
}

bool DisplayTopology::precedes(const ExternalDisplayDescriptor& a, const ExternalDisplayDescriptor& b)
{
    if (a.name == b.name)
        return a.id < b.id;
    const int order = platform::text::localizedStandardCompare(a.name, b.name);
    if (order != 0)
        return order < 0;
    // Names that differ yet compare the same still need a fixed order.
    return a.name < b.name;
}

std::vector<ExternalDisplayDescriptor> DisplayTopology::externalDisplayDescriptors()
{
    std::vector<ExternalDisplayDescriptor> descriptors;
    for (const Screen& s : externalScreens())
        descriptors.push_back({*s.displayID, stableKey(s), s.localizedName, s.frame, s.backingScaleFactor});
    std::sort(descriptors.begin(), descriptors.end(), precedes);
    return descriptors;
}

DisplaySnapshot DisplayTopology::snapshot()
{
    DisplaySnapshot snap;
    for (const Screen& s : identifiedScreens()) {
        if (s.isBuiltIn) {
            if (!snap.builtInID)
                snap.builtInID = s.displayID;
        } else {
            snap.externalIDs.push_back(*s.displayID);
        }
        if (s.isInMirrorSet)
            snap.mirroredIDs.push_back(*s.displayID);
    }
    std::sort(snap.externalIDs.begin(), snap.externalIDs.end());
    std::sort(snap.mirroredIDs.begin(), snap.mirroredIDs.end());
    return snap;
}

DisplayConfigurationSnapshot DisplayTopology::configurationSnapshot()
{
    DisplayConfigurationSnapshot config;
    for (const Screen& s : identifiedScreens())
        config.screens.push_back({*s.displayID, s.frame, s.backingScaleFactor, s.isBuiltIn, s.isInMirrorSet, s.visibleFrame});
    std::sort(config.screens.begin(), config.screens.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });
    return config;
}

} // namespace quorvia
