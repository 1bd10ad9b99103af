#include "platform/linux/displays/RandrTopology.h"

#include "platform/linux/displays/EdidIdentity.h"
#include "platform/linux/displays/QtDisplayService.h"

#include <algorithm>
#include <numeric>
#include <set>

namespace quorvia::platform::native {

namespace {

struct ActiveOutput {
    const RandrOutput* output;
    QRect area;
};

// Outputs that light a display, the primary first. Whatever the connector
// reports, an output a CRTC drives shows a picture: a mode forced on a
// projector that was never detected reads disconnected while it shows.
std::vector<ActiveOutput> activeOutputs(const RandrTable& table)
{
    std::vector<ActiveOutput> active;
    for (const RandrOutput& output : table.outputs) {
        if (output.crtc == 0)
            continue;
        auto crtc = std::find_if(table.crtcs.begin(), table.crtcs.end(),
                                 [&](const RandrCrtc& c) { return c.id == output.crtc; });
        if (crtc == table.crtcs.end() || crtc->area.isEmpty())
            continue;
        active.push_back({&output, crtc->area});
    }
    std::stable_partition(active.begin(), active.end(),
                          [&](const ActiveOutput& a) { return a.output->id == table.primaryOutput; });
    return active;
}

const QtScreenInfo* qtScreenNamed(const std::vector<QtScreenInfo>& screens, const QString& name)
{
    auto it = std::find_if(screens.begin(), screens.end(), [&](const QtScreenInfo& s) { return s.name == name; });
    return it == screens.end() ? nullptr : &*it;
}

std::size_t distinctAreas(std::vector<QRect> areas)
{
    std::set<std::tuple<int, int, int, int>> distinct;
    for (const QRect& r : areas)
        distinct.insert({r.x(), r.y(), r.width(), r.height()});
    return distinct.size();
}

} // namespace

QPoint globalOrigin(const RandrTable& table)
{
    const std::vector<ActiveOutput> active = activeOutputs(table);
    if (active.empty())
        return {};
    const QRect first = active.front().area;
    return {first.x(), first.y() + first.height()};
}

std::vector<Screen> decideScreens(const RandrTable& table, const std::vector<QtScreenInfo>& qtScreens,
                                  std::optional<DisplayID> audienceDisplay)
{
    const std::vector<ActiveOutput> active = activeOutputs(table);

    // One picture per CRTC area; outputs on one CRTC share its area.
    std::vector<QRect> pictures;
    std::vector<std::vector<const ActiveOutput*>> groups;
    for (const ActiveOutput& a : active) {
        auto it = std::find(pictures.begin(), pictures.end(), a.area);
        if (it == pictures.end()) {
            pictures.push_back(a.area);
            groups.push_back({&a});
        } else {
            groups[std::size_t(it - pictures.begin())].push_back(&a);
        }
    }

    // A laptop whose panel is off or disconnected (the lid closed) has no
    // screen of its own; only a machine without any panel connector lets the
    // primary stand in.
    const bool hasPanelConnector = std::any_of(table.outputs.begin(), table.outputs.end(), [](const RandrOutput& o) {
        return QtDisplayService::isBuiltInConnector(o.name);
    });
    std::vector<QRect> qtAreas;
    for (const QtScreenInfo& s : qtScreens)
        qtAreas.push_back(s.geometry);
    const bool agreesWithQt = distinctAreas(qtAreas) == pictures.size();
    const QPoint origin = globalOrigin(table);
    const int left = origin.x();
    const int anchor = origin.y();
    const auto holds = [&](std::size_t group, auto&& test) {
        return std::any_of(groups[group].begin(), groups[group].end(), [&](const ActiveOutput* a) { return test(*a->output); });
    };
    std::optional<std::size_t> standIn;
    if (!hasPanelConnector) {
        for (std::size_t i = 0; i < groups.size() && !standIn; ++i)
            if (table.primaryOutput != 0 && holds(i, [&](const RandrOutput& o) { return o.id == table.primaryOutput; }))
                standIn = i;
        if (!standIn && groups.size() == 1)
            standIn = 0;
        // A picture the audience's display shares with another output is
        // still the speaker's: a mirror, which the shield covers.
        if (standIn && audienceDisplay && !holds(*standIn, [&](const RandrOutput& o) { return o.id != *audienceDisplay; }))
            standIn.reset();
    }

    std::vector<Screen> screens;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const QRect area = pictures[i];
        const RandrOutput& lead = *groups[i].front()->output;
        Screen screen;
        screen.displayID = lead.id;
        screen.frame = Rect(area.x() - left, anchor - (area.y() + area.height()), area.width(), area.height());
        screen.visibleFrame = screen.frame;
        screen.localizedName = lead.name;
        if (const QtScreenInfo* qt = qtScreenNamed(qtScreens, lead.name)) {
            // Panels and docks the window manager reserves, as insets of the frame.
            const QRect g = qt->geometry;
            const QRect a = qt->availableGeometry;
            if (g.contains(a)) {
                screen.visibleFrame = Rect(screen.frame.minX() + (a.x() - g.x()),
                                           screen.frame.minY() + (g.bottom() - a.bottom()), a.width(), a.height());
            }
            screen.backingScaleFactor = qt->devicePixelRatio;
        }
        if (const auto identity = parseEdid(lead.edid)) {
            screen.vendorNumber = identity->manufacturerID;
            screen.modelNumber = identity->productCode;
            screen.serialNumber = identity->stableSerial();
            if (!identity->monitorName.isEmpty())
                screen.localizedName = identity->monitorName;
        }
        const bool panel = holds(i, [](const RandrOutput& o) { return QtDisplayService::isBuiltInConnector(o.name); });
        const bool speakers = hasPanelConnector ? panel : standIn == i;
        screen.isBuiltIn = agreesWithQt && speakers;
        screen.isBuiltInPendingWindowSystem = !agreesWithQt && speakers;
        screen.isInMirrorSet = groups[i].size() > 1;
        screens.push_back(screen);
    }

    // Pictures that overlap without being equal still copy private pixels.
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        for (std::size_t j = i + 1; j < pictures.size(); ++j) {
            if (pictures[i].intersects(pictures[j])) {
                screens[i].isInMirrorSet = true;
                screens[j].isInMirrorSet = true;
            }
        }
    }

    // Identical monitors differ in their unit number.
    for (std::size_t i = 0; i < screens.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (screens[j].vendorNumber == screens[i].vendorNumber && screens[j].modelNumber == screens[i].modelNumber
                && screens[j].serialNumber == screens[i].serialNumber)
                ++screens[i].unitNumber;
        }
    }
    return screens;
}

} // namespace quorvia::platform::native
