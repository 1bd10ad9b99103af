#pragma once

#include "platform/displays/DisplayService.h"
#include "privacy/DisplayConfigurationSnapshot.h"
#include "privacy/DisplaySnapshot.h"
#include "privacy/ExternalDisplayDescriptor.h"

#include <optional>
#include <vector>

namespace quorvia {

// The display queries every window placement starts from. Nothing is cached:
// each call reads the live screen list of the platform's display service.
// Screens without a display id are skipped by every query.
class DisplayTopology {
public:
    DisplayTopology() = delete;

    static std::optional<platform::DisplayID> displayID(const platform::Screen& screen) { return screen.displayID; }
    static std::optional<platform::Screen> builtInScreen();
    // Where the safety overlay stands: the built-in screen, or the one the
    // hardware names while the window system's list still lags behind, so a
    // mirror noticed during that lag is covered at once.
    static std::optional<platform::Screen> safetyOverlayScreen();
    static std::vector<platform::Screen> externalScreens();
    static std::vector<ExternalDisplayDescriptor> externalDisplayDescriptors();
    static std::optional<platform::Screen> screen(platform::DisplayID id);
    static DisplaySnapshot snapshot();
    static DisplayConfigurationSnapshot configurationSnapshot();

    static QString stableKey(const platform::Screen& screen);
    // Strict weak order of descriptors: equal names by id, else by the
    // platform's localized standard comparison of the names.
    static bool precedes(const ExternalDisplayDescriptor& a, const ExternalDisplayDescriptor& b);

    // The capture display of a shareable-content listing whose id matches;
    // the content type lists `displays`, each with a `displayID`.
    template <typename Content>
    static auto shareableDisplay(platform::DisplayID id, const Content& content)
        -> std::optional<std::decay_t<decltype(content.displays.front())>>
    {
        for (const auto& display : content.displays)
            if (display.displayID == id)
                return display;
        return std::nullopt;
    }
};

} // namespace quorvia
