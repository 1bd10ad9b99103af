#pragma once

#include "platform/displays/DisplayService.h"

#include <QByteArray>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvia::platform::native {

// What the X server's RandR extension reports, copied into plain values so the
// decision below runs without a server.
struct RandrCrtc {
    std::uint32_t id = 0;
    QRect area; // in the root window, y down; empty when the CRTC shows nothing
};

enum class RandrConnection { connected, disconnected, unknown };

struct RandrOutput {
    std::uint32_t id = 0;
    QString name;
    RandrConnection connection = RandrConnection::disconnected;
    std::uint32_t crtc = 0; // 0 for none
    QByteArray edid;
};

struct RandrTable {
    std::vector<RandrOutput> outputs;
    std::vector<RandrCrtc> crtcs;
    std::uint32_t primaryOutput = 0; // 0 for none
};

// A screen as Qt lists it, matched to an output by name.
struct QtScreenInfo {
    QString name;
    QRect geometry;
    QRect availableGeometry;
    double devicePixelRatio = 1.0;
};

// Where the global space's origin stands in the root window: the first
// picture's bottom-left corner (the primary's, when it is lit); the root's
// corner when nothing shows.
QPoint globalOrigin(const RandrTable& table);

// Turns the recorded tables into the platform's screen list: one screen per
// picture shown (outputs that show the same picture collapse into one mirror
// set), the primary output first, frames in the y-up global space.
// Where Qt counts a different number of pictures, no screen is built in, so
// every safety check fails closed until both sides agree again.
// Without a panel connector the lit primary stands in as the speaker's
// screen, else a lone picture; never the audience's display, and with several
// pictures and no primary lit, nothing does.
std::vector<Screen> decideScreens(const RandrTable& table, const std::vector<QtScreenInfo>& qtScreens,
                                  std::optional<DisplayID> audienceDisplay = std::nullopt);

} // namespace quorvia::platform::native
