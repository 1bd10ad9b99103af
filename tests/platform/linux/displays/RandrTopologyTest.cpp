#include "EdidBlocks.h"
#include "platform/linux/displays/RandrTopology.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia::platform;
using namespace quorvia::platform::native;
using quorvia::test::EdidBlock;

namespace {

const QByteArray panelEdid = EdidBlock{"BOE", 0x0A1F, 0, {}, "BOE NV140"}.bytes();
const QByteArray projectorEdid = EdidBlock{"EPS", 0x0A27, 7001, {}, "EPSON PJ"}.bytes();

RandrOutput output(std::uint32_t id, const char* name, std::uint32_t crtc, QByteArray edid = {},
                   RandrConnection connection = RandrConnection::connected)
{
    return {id, QString::fromLatin1(name), connection, crtc, std::move(edid)};
}

// Qt's own list for the same pictures, with no reserved areas.
std::vector<QtScreenInfo> qtFor(const std::vector<std::pair<const char*, QRect>>& screens)
{
    std::vector<QtScreenInfo> result;
    for (const auto& [name, area] : screens)
        result.push_back({QString::fromLatin1(name), area, area, 1.0});
    return result;
}

} // namespace

TEST(RandrTopology, BuiltInPanelAndProjectorExtended)
{
    RandrTable table;
    // The projector is listed first and is primary; the panel is still the built-in one.
    table.outputs = {output(70, "HDMI-1", 2, projectorEdid), output(66, "eDP-1", 1, panelEdid),
                     output(71, "DP-1", 0, {}, RandrConnection::disconnected)};
    table.crtcs = {{1, QRect(0, 0, 1920, 1200)}, {2, QRect(1920, 0, 1024, 768)}, {3, QRect()}};
    table.primaryOutput = 66;
    const auto qt = qtFor({{"eDP-1", QRect(0, 0, 1920, 1200)}, {"HDMI-1", QRect(1920, 0, 1024, 768)}});

    const auto screens = decideScreens(table, qt);
    ASSERT_EQ(screens.size(), 2u);
    const Screen& panel = screens[0];
    EXPECT_EQ(panel.displayID, 66u);
    EXPECT_TRUE(panel.isBuiltIn);
    EXPECT_FALSE(panel.isInMirrorSet);
    EXPECT_EQ(panel.frame, Rect(0, 0, 1920, 1200));
    EXPECT_EQ(panel.localizedName, "BOE NV140");

    const Screen& projector = screens[1];
    EXPECT_EQ(projector.displayID, 70u);
    EXPECT_FALSE(projector.isBuiltIn);
    EXPECT_FALSE(projector.isInMirrorSet);
    // Top edges aligned: in y-up space the shorter screen starts higher.
    EXPECT_EQ(projector.frame, Rect(1920, 432, 1024, 768));
    EXPECT_EQ(projector.vendorNumber, 0x1613u); // "EPS"
    EXPECT_EQ(projector.modelNumber, 0x0A27u);
    EXPECT_EQ(projector.serialNumber, 7001u);
    EXPECT_EQ(projector.localizedName, "EPSON PJ");
}

TEST(RandrTopology, MirroringThroughOneCrtcOrEqualOrOverlappingAreas)
{
    const auto qtOne = qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}});

    RandrTable sharedCrtc;
    sharedCrtc.outputs = {output(66, "eDP-1", 1, panelEdid), output(70, "HDMI-1", 1, projectorEdid)};
    sharedCrtc.crtcs = {{1, QRect(0, 0, 1920, 1080)}};
    auto screens = decideScreens(sharedCrtc, qtOne);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_TRUE(screens[0].isInMirrorSet);
    EXPECT_TRUE(screens[0].isBuiltIn);
    EXPECT_EQ(screens[0].displayID, 66u);

    RandrTable equalAreas;
    equalAreas.outputs = {output(66, "eDP-1", 1, panelEdid), output(70, "HDMI-1", 2, projectorEdid)};
    equalAreas.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(0, 0, 1920, 1080)}};
    screens = decideScreens(equalAreas, qtOne);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_TRUE(screens[0].isInMirrorSet);

    // A smaller picture inside the panel's copies part of it: both count as mirrored.
    RandrTable overlap = equalAreas;
    overlap.crtcs[1].area = QRect(0, 0, 1024, 768);
    screens = decideScreens(overlap, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}, {"HDMI-1", QRect(0, 0, 1024, 768)}}));
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_TRUE(screens[0].isInMirrorSet);
    EXPECT_TRUE(screens[1].isInMirrorSet);
}

TEST(RandrTopology, AnOutputADrivenCrtcLightsCountsWhateverItsConnectorReads)
{
    RandrTable table;
    table.outputs = {output(66, "eDP-1", 1, panelEdid),
                     // Unplugged while the driver still holds its CRTC.
                     output(70, "HDMI-1", 2, projectorEdid, RandrConnection::disconnected),
                     // Not driven at all, and connected but not driven.
                     output(71, "DP-1", 0, {}, RandrConnection::disconnected), output(72, "DP-2", 3)};
    table.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(1920, 0, 1920, 1080)}, {3, QRect()}};
    auto screens = decideScreens(
        table, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}, {"HDMI-1", QRect(1920, 0, 1920, 1080)}}));
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_TRUE(screens[0].isBuiltIn);
    EXPECT_EQ(screens[1].displayID, 70u);
    EXPECT_FALSE(screens[1].isBuiltIn);

    // A mode forced on a projector that was never detected, copying the panel:
    // it still reads disconnected, and the panel is mirrored.
    RandrTable forced;
    forced.outputs = {output(66, "eDP-1", 1, panelEdid), output(70, "HDMI-1", 2, {}, RandrConnection::disconnected)};
    forced.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(0, 0, 1920, 1080)}};
    screens = decideScreens(forced, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}}));
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_TRUE(screens[0].isInMirrorSet);
    // Sharing the panel's CRTC shows the same.
    forced.outputs[1].crtc = 1;
    screens = decideScreens(forced, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}}));
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_TRUE(screens[0].isInMirrorSet);

    // A connector that cannot tell (an old VGA projector) counts while it is driven.
    table.outputs[1].connection = RandrConnection::unknown;
    const auto withProjector = decideScreens(
        table, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}, {"HDMI-1", QRect(1920, 0, 1920, 1080)}}));
    ASSERT_EQ(withProjector.size(), 2u);
    EXPECT_EQ(withProjector[1].displayID, 70u);
}

TEST(RandrTopology, ALaptopWithItsPanelOffOrUnpluggedHasNoBuiltInScreen)
{
    const auto qtProjector = qtFor({{"HDMI-1", QRect(0, 0, 1920, 1080)}});
    RandrTable lidClosed;
    // The lid closed: the panel's connector is there, undriven; the projector is primary.
    lidClosed.outputs = {output(66, "eDP-1", 0, panelEdid), output(70, "HDMI-1", 2, projectorEdid)};
    lidClosed.crtcs = {{1, QRect()}, {2, QRect(0, 0, 1920, 1080)}};
    lidClosed.primaryOutput = 70;
    auto screens = decideScreens(lidClosed, qtProjector);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_FALSE(screens[0].isBuiltIn);

    // Some drivers report the closed panel as disconnected.
    lidClosed.outputs[0].connection = RandrConnection::disconnected;
    screens = decideScreens(lidClosed, qtProjector);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_FALSE(screens[0].isBuiltIn);

    // The same for other panel connectors.
    for (const char* name : {"LVDS-1", "DSI-1"}) {
        RandrTable table = lidClosed;
        table.outputs[0].name = QString::fromLatin1(name);
        screens = decideScreens(table, qtProjector);
        ASSERT_EQ(screens.size(), 1u) << name;
        EXPECT_FALSE(screens[0].isBuiltIn) << name;
    }

    // A desktop has no panel connector at all: its primary stands in.
    RandrTable desktop = lidClosed;
    desktop.outputs.erase(desktop.outputs.begin());
    screens = decideScreens(desktop, qtProjector);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_TRUE(screens[0].isBuiltIn);
}

TEST(RandrTopology, TwoExternalsWithoutAPanel)
{
    const QByteArray twin = EdidBlock{"DEL", 0xA0C4, 0, {}, "DELL P2419H"}.bytes();
    RandrTable table;
    table.outputs = {output(80, "DP-1", 1, twin), output(81, "DP-2", 2, twin)};
    table.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(1920, 0, 1920, 1080)}};
    table.primaryOutput = 81;
    const auto qt = qtFor({{"DP-1", QRect(0, 0, 1920, 1080)}, {"DP-2", QRect(1920, 0, 1920, 1080)}});

    const auto screens = decideScreens(table, qt);
    ASSERT_EQ(screens.size(), 2u);
    // The primary stands in as the speaker's screen and anchors the space.
    EXPECT_EQ(screens[0].displayID, 81u);
    EXPECT_TRUE(screens[0].isBuiltIn);
    EXPECT_FALSE(screens[1].isBuiltIn);
    EXPECT_EQ(screens[0].frame, Rect(0, 0, 1920, 1080));
    EXPECT_EQ(screens[1].frame, Rect(-1920, 0, 1920, 1080));
    // Identical monitors without serial numbers differ in their unit number.
    EXPECT_EQ(screens[0].serialNumber, screens[1].serialNumber);
    EXPECT_NE(screens[0].unitNumber, screens[1].unitNumber);

    // The same monitor on another connector keeps the numbers and name of its key.
    RandrTable moved = table;
    moved.outputs[0].name = QStringLiteral("DP-3");
    moved.outputs[0].id = 90;
    const auto after = decideScreens(
        moved, qtFor({{"DP-3", QRect(0, 0, 1920, 1080)}, {"DP-2", QRect(1920, 0, 1920, 1080)}}));
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].localizedName, screens[1].localizedName);
    EXPECT_EQ(after[1].vendorNumber, screens[1].vendorNumber);
    EXPECT_EQ(after[1].modelNumber, screens[1].modelNumber);
    EXPECT_EQ(after[1].unitNumber, screens[1].unitNumber);
}

TEST(RandrTopology, BadEdidGivesNoIdentityAndQtDisagreementFailsClosed)
{
    QByteArray damaged = projectorEdid;
    damaged[20] = char(damaged[20] ^ 0x01);
    RandrTable table;
    table.outputs = {output(66, "eDP-1", 1, panelEdid), output(70, "HDMI-1", 2, damaged)};
    table.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(1920, 0, 1280, 720)}};
    table.primaryOutput = 66;
    auto qt = qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}, {"HDMI-1", QRect(1920, 0, 1280, 720)}});
    // Qt knows of a bar across the panel's top.
    qt[0].availableGeometry = QRect(0, 28, 1920, 1052);
    qt[0].devicePixelRatio = 2.0;

    auto screens = decideScreens(table, qt);
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[1].vendorNumber, 0u);
    EXPECT_EQ(screens[1].modelNumber, 0u);
    EXPECT_EQ(screens[1].serialNumber, 0u);
    EXPECT_EQ(screens[1].localizedName, "HDMI-1");
    EXPECT_EQ(screens[0].visibleFrame, Rect(0, 0, 1920, 1052));
    EXPECT_EQ(screens[0].backingScaleFactor, 2.0);

    // Qt has not seen the projector yet: nothing is built in until it has, but
    // the panel stays known as the speaker's for the safety overlay.
    screens = decideScreens(table, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}}));
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_FALSE(screens[0].isBuiltIn);
    EXPECT_FALSE(screens[1].isBuiltIn);
    EXPECT_TRUE(screens[0].isBuiltInPendingWindowSystem);
    EXPECT_FALSE(screens[1].isBuiltInPendingWindowSystem);

    // Mirrored by xrandr --same-as while Qt still has the projector to the
    // right: the one picture is the speaker's, pending Qt.
    table.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(0, 0, 1920, 1080)}};
    screens = decideScreens(table, qtFor({{"eDP-1", QRect(0, 0, 1920, 1080)}, {"HDMI-1", QRect(1920, 0, 1280, 720)}}));
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_FALSE(screens[0].isBuiltIn);
    EXPECT_TRUE(screens[0].isBuiltInPendingWindowSystem);
    EXPECT_TRUE(screens[0].isInMirrorSet);
    EXPECT_TRUE(decideScreens({}, {}).empty());
}

TEST(RandrTopology, WithoutAPanelOnlyALitPrimaryOrALonePictureThatIsNotTheAudiencesStandsIn)
{
    RandrTable table;
    table.outputs = {output(80, "DUMMY0", 1), output(81, "DUMMY1", 2)};
    table.crtcs = {{1, QRect(0, 0, 1920, 1080)}, {2, QRect(1920, 0, 1920, 1080)}};
    table.primaryOutput = 80;
    const auto both = qtFor({{"DUMMY0", QRect(0, 0, 1920, 1080)}, {"DUMMY1", QRect(1920, 0, 1920, 1080)}});
    const auto speakers = [](const std::vector<Screen>& screens) {
        auto it = std::ranges::find_if(screens, &Screen::isBuiltIn);
        return it == screens.end() ? std::nullopt : it->displayID;
    };
    EXPECT_EQ(speakers(decideScreens(table, both, 81)), 80u);
    RandrTable mirrored = table; // still the speaker's, for the shield to cover
    mirrored.crtcs[1].area = mirrored.crtcs[0].area;
    EXPECT_EQ(speakers(decideScreens(mirrored, qtFor({{"DUMMY0", QRect(0, 0, 1920, 1080)}}), 81)), 80u);
    table.primaryOutput = 0; // several pictures, none primary
    EXPECT_EQ(speakers(decideScreens(table, both)), std::nullopt);

    // The laptop's output off, which the server still names primary.
    table.outputs[0].crtc = 0;
    table.crtcs[1].area = QRect(0, 0, 1920, 1080);
    const auto projectorOnly = qtFor({{"DUMMY1", QRect(0, 0, 1920, 1080)}});
    EXPECT_EQ(speakers(decideScreens(table, projectorOnly, 81)), std::nullopt);
    EXPECT_EQ(speakers(decideScreens(table, projectorOnly)), 81u);
}
