#include "privacy/DisplayTopology.h"

#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;
using platform::Screen;
using test::FakeDisplayService;

namespace {
struct Topology : ::testing::Test {
    test::TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    Topology() { env.platform().displayService = displays; }
};
} // namespace

TEST_F(Topology, BuiltInPlusExtendedExternalIsSafe)
{
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    const DisplaySnapshot snap = DisplayTopology::snapshot();
    EXPECT_EQ(snap.builtInID, 1u);
    EXPECT_EQ(snap.externalIDs, std::vector<DisplayID>{7});
    EXPECT_TRUE(snap.mirroredIDs.empty());
    EXPECT_TRUE(snap.isSafe(7));
    EXPECT_FALSE(snap.isSafe(std::nullopt));
    EXPECT_FALSE(snap.isSafe(8));
    EXPECT_FALSE(snap.isSafe(1)) << "the built-in screen is never an audience display";
    EXPECT_TRUE(snap.hasSingleSafeExternalDisplay());
}

TEST_F(Topology, MirroredPairIsUnsafeForEverySelection)
{
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    displays->mirror(1, 7);
    const DisplaySnapshot snap = DisplayTopology::snapshot();
    EXPECT_EQ(snap.mirroredIDs, std::vector<DisplayID>{1});
    EXPECT_TRUE(snap.isMirroring());
    for (auto selection : {std::optional<DisplayID>{}, std::optional<DisplayID>{1}, std::optional<DisplayID>{7}})
        EXPECT_FALSE(snap.isSafe(selection));
    EXPECT_FALSE(snap.hasSingleSafeExternalDisplay());

    // Two externals mirrored to each other while the built-in stays extended.
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7),
                          FakeDisplayService::external(9, QStringLiteral("B"), Rect(3360, 0, 1920, 1080))});
    displays->mirror(9, 7);
    const DisplaySnapshot two = DisplayTopology::snapshot();
    EXPECT_EQ(two.mirroredIDs, std::vector<DisplayID>{9});
    EXPECT_FALSE(two.isSafe(9));
}

TEST_F(Topology, LidClosedHasNoBuiltInScreen)
{
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    const DisplaySnapshot snap = DisplayTopology::snapshot();
    EXPECT_FALSE(snap.builtInID.has_value());
    EXPECT_FALSE(snap.isSafe(7));
    EXPECT_FALSE(snap.hasSingleSafeExternalDisplay());
    EXPECT_FALSE(DisplayTopology::builtInScreen().has_value());
}

TEST_F(Topology, ScreensWithoutIdAreIgnoredAndIdsSorted)
{
    Screen anonymous = FakeDisplayService::external(0);
    anonymous.displayID.reset();
    displays->setScreens({FakeDisplayService::external(9, QStringLiteral("Z")), FakeDisplayService::builtIn(5),
                          anonymous, FakeDisplayService::external(3, QStringLiteral("Y"))});
    const DisplaySnapshot snap = DisplayTopology::snapshot();
    EXPECT_EQ(snap.builtInID, 5u);
    EXPECT_EQ(snap.externalIDs, (std::vector<DisplayID>{3, 9}));
    EXPECT_EQ(DisplayTopology::externalScreens().size(), 2u);
    EXPECT_FALSE(DisplayTopology::screen(0).has_value());
    ASSERT_TRUE(DisplayTopology::screen(9).has_value());
    EXPECT_EQ(DisplayTopology::screen(9)->localizedName, QStringLiteral("Z"));

    const auto config = DisplayTopology::configurationSnapshot();
    ASSERT_EQ(config.screens.size(), 3u);
    EXPECT_EQ(config.screens[0].id, 3u);
    EXPECT_EQ(config.screens[1].id, 5u);
    EXPECT_TRUE(config.screens[1].isBuiltIn);
    EXPECT_EQ(config.screens[1].backingScaleFactor, 2.0);
}

TEST_F(Topology, ConfigurationSnapshotSeesGeometryAndMirroring)
{
    displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    const auto before = DisplayTopology::configurationSnapshot();
    EXPECT_EQ(before, DisplayTopology::configurationSnapshot());
    displays->setFrame(7, Rect(1440, 0, 1280, 720));
    EXPECT_NE(before, DisplayTopology::configurationSnapshot());
    displays->setFrame(7, Rect(1440, 0, 1920, 1080));
    displays->setScale(1, 1.0);
    EXPECT_NE(before, DisplayTopology::configurationSnapshot());
}

TEST_F(Topology, StableKeyJoinsFiveFieldsWithoutFallback)
{
    Screen s = FakeDisplayService::external(7, QStringLiteral("Projector"));
    s.vendorNumber = 610;
    s.modelNumber = 432;
    s.serialNumber = 0;
    s.unitNumber = 2;
    EXPECT_EQ(DisplayTopology::stableKey(s), QStringLiteral("610:432:0:2:Projector"));
    s.localizedName = QStringLiteral("A:B");
    EXPECT_EQ(DisplayTopology::stableKey(s), QStringLiteral("610:432:0:2:A:B"));

    // Identical monitors without serial numbers differ in their unit field.
    Screen twinA = FakeDisplayService::external(7, QStringLiteral("Dell"));
    Screen twinB = FakeDisplayService::external(8, QStringLiteral("Dell"), Rect(3360, 0, 1920, 1080));
    twinA.unitNumber = 1;
    twinB.unitNumber = 2;
    displays->setScreens({FakeDisplayService::builtIn(), twinA, twinB});
    const auto d = DisplayTopology::externalDisplayDescriptors();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_NE(d[0].stableKey, d[1].stableKey);
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
    EXPECT_EQ(d[2].frame, FakeDisplayService::external(21).frame);
}

namespace {
struct ShareableDisplay {
    DisplayID displayID;
    int width;
};
struct ShareableContent {
    std::vector<ShareableDisplay> displays;
};
} // namespace

TEST(TopologyShareable, FindsTheCaptureDisplayById)
{
    const ShareableContent content{{{3, 100}, {7, 200}}};
    auto match = DisplayTopology::shareableDisplay(7, content);
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->width, 200);
    EXPECT_FALSE(DisplayTopology::shareableDisplay(9, content).has_value());
}
