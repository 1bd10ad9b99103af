#include "privacy/DisplayTopology.h"

#include "PrivacyFakes.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;
using platform::Screen;
using test::FakeDisplayService;

namespace {
struct Topology : ::testing::Test, test::PrivacyFakes {};
} // namespace

TEST_F(Topology, OnlyABuiltInScreenWithAnExtendedExternalIsSafe)
{
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    DisplaySnapshot snap = DisplayTopology::snapshot();
    EXPECT_EQ(snap.builtInID, 1u);
    EXPECT_TRUE(snap.isSafe(7));
    for (auto unsafe : {std::optional<DisplayID>{}, std::optional<DisplayID>{8}, std::optional<DisplayID>{1}})
        EXPECT_FALSE(snap.isSafe(unsafe));
    EXPECT_TRUE(snap.hasSingleSafeExternalDisplay());

    // The same pair mirrored: unsafe for every selection.
    displays->mirror(1, 7);
    snap = DisplayTopology::snapshot();
    EXPECT_EQ(snap.mirroredIDs, std::vector<DisplayID>{1});
    for (auto selection : {std::optional<DisplayID>{}, std::optional<DisplayID>{1}, std::optional<DisplayID>{7}})
        EXPECT_FALSE(snap.isSafe(selection));
    EXPECT_FALSE(snap.hasSingleSafeExternalDisplay());

    // Lid closed: no built-in screen at all.
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    snap = DisplayTopology::snapshot();
    EXPECT_FALSE(snap.builtInID.has_value());
    EXPECT_FALSE(snap.isSafe(7));
    EXPECT_FALSE(DisplayTopology::builtInScreen().has_value());
}

TEST_F(Topology, ScreensWithoutIdAreIgnoredAndIdsSorted)
{
    Screen anonymous = FakeDisplayService::external(0);
    anonymous.displayID.reset();
    displays->setScreens({FakeDisplayService::external(9, QStringLiteral("Z")), FakeDisplayService::builtIn(5),
                          anonymous, FakeDisplayService::external(3, QStringLiteral("Y"))});
    EXPECT_EQ(DisplayTopology::snapshot().externalIDs, (std::vector<DisplayID>{3, 9}));

    const auto config = DisplayTopology::configurationSnapshot();
    ASSERT_EQ(config.screens.size(), 3u);
    // Any geometry change shows in the configuration.
    displays->setFrame(9, Rect(3360, 0, 1280, 720));
    EXPECT_NE(config, DisplayTopology::configurationSnapshot());
}

TEST_F(Topology, StableKeyJoinsFiveFields)
{
    Screen s = FakeDisplayService::external(7, QStringLiteral("Projector"));
    s.vendorNumber = 610;
    s.modelNumber = 432;
    s.serialNumber = 0;
    s.unitNumber = 2;
    EXPECT_EQ(DisplayTopology::stableKey(s), QStringLiteral("610:432:0:2:Projector"));
}

TEST_F(Topology, DescriptorsSortByNaturalNameThenId)
{
    displays->setScreens({
        FakeDisplayService::builtIn(1),
        FakeDisplayService::external(40, QStringLiteral("Proj 10")),
        FakeDisplayService::external(30, QStringLiteral("proj 2")),
        FakeDisplayService::external(22, QStringLiteral("Same")),
        FakeDisplayService::external(21, QStringLiteral("Same")),
    });
    const auto d = DisplayTopology::externalDisplayDescriptors();
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].name, QStringLiteral("proj 2"));
    EXPECT_EQ(d[1].name, QStringLiteral("Proj 10"));
    EXPECT_EQ(d[2].id, 21u);
    EXPECT_EQ(d[3].id, 22u);
    EXPECT_NE(d[2].stableKey, d[3].stableKey) << "identical monitors differ in their unit field";
}
