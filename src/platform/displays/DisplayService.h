#pragma once

#include "platform/core/Geometry.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvia::platform {

using DisplayID = std::uint32_t;

// One screen of the platform's screen list. When the system mirrors displays,
// a mirror set is listed as one screen whose display reports membership.
struct Screen {
    std::optional<DisplayID> displayID; // absent for a screen the system cannot name
    Rect frame;                          // global y-up space
    Rect visibleFrame;                   // the frame minus panels and docks
    double backingScaleFactor = 1.0;
    QString localizedName;
    bool isBuiltIn = false;
    // The speaker's own screen by the hardware, while the window system's
    // screen list has not caught up with it (isBuiltIn is then false): nothing
    // private may be placed there yet, but the safety overlay may cover it.
    bool isBuiltInPendingWindowSystem = false;
    bool isInMirrorSet = false;
    std::optional<DisplayID> mirrorsDisplay; // the display this one copies, if any
    std::uint32_t vendorNumber = 0;
    std::uint32_t modelNumber = 0;
    std::uint32_t serialNumber = 0;
    std::uint32_t unitNumber = 0;
    // How far a camera housing reaches down into the top of the screen; 0 where
    // the panel has none (every Linux screen).
    double safeAreaTopInset = 0;

    friend bool operator==(const Screen&, const Screen&) = default;
};

// The displays attached to the machine, read live on every call.
class DisplayService {
public:
    // Posted on the default notification centre, the service as sender, after
    // any change of the screen list or of a screen's geometry.
    static inline const QString screenParametersChangedNotification =
        QStringLiteral("ApplicationDidChangeScreenParameters");

    virtual ~DisplayService() = default;

    // The screen list in the platform's order; the primary screen first.
    virtual std::vector<Screen> screens() const = 0;
    // The screen the speaker is working on (the one with the active window).
    virtual std::optional<Screen> mainScreen() const = 0;

    // Where the global space's origin stands in the window system's own
    // top-left space, read from the same picture as screens(), so that a
    // window is placed where the screens it was placed by stand. None where
    // only the window system knows: its primary screen is then the anchor.
    virtual std::optional<Point> globalOrigin() const { return std::nullopt; }

    // The screen that holds most of the rectangle; none when it touches none.
    std::optional<Screen> screenContaining(const Rect& rect) const;

    // The display chosen or taken for the audience. Where the speaker's screen
    // is only guessed (no panel), a guess that lands on it is no answer:
    // private windows would show to the room.
    void setAudienceDisplay(std::optional<DisplayID> id) { audienceDisplay_ = id; }
    std::optional<DisplayID> audienceDisplay() const { return audienceDisplay_; }

private:
    std::optional<DisplayID> audienceDisplay_;
};

} // namespace quorvia::platform
