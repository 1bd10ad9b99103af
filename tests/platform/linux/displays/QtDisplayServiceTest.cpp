#include "platform/linux/displays/QtDisplayService.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using quorvia::platform::native::QtDisplayService;

TEST(QtDisplayService, LaptopPanelConnectorsAreBuiltIn)
{
    for (const char* name : {"eDP-1", "LVDS1", "DSI-0", "edp-2"})
        EXPECT_TRUE(QtDisplayService::isBuiltInConnector(QString::fromLatin1(name))) << name;
    for (const char* name : {"HDMI-1", "DP-2", "VGA-0", ""})
        EXPECT_FALSE(QtDisplayService::isBuiltInConnector(QString::fromLatin1(name))) << name;
}

TEST(QtDisplayService, WithoutAPanelThePrimaryScreenStandsInAndIdsAreStable)
{
    QtDisplayService service;
    const auto first = service.screens();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first.front().isBuiltIn);
    ASSERT_TRUE(first.front().displayID.has_value());
    EXPECT_EQ(service.screens().front().displayID, first.front().displayID);
    EXPECT_EQ(first.front().frame.origin, (quorvia::platform::Point{0, 0}));
    ASSERT_TRUE(service.mainScreen().has_value());
}
