#include "privacy/WindowSettingsViewController.h"

#include "support/Snapshot.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Size;

TEST(WindowSettingsView, SizeAndPercentFollowTheirRules)
{
    EXPECT_EQ(WindowSettingsViewController::preferredSize(false, {}), (Size{320, 160}));
    EXPECT_EQ(WindowSettingsViewController::preferredSize(true, {620, 300}), (Size{620, 472}));
    EXPECT_EQ(WindowSettingsViewController::preferredSize(true, {200, 100}), (Size{320, 272}));
    EXPECT_EQ(WindowSettingsViewController::percentText(0.355), QStringLiteral("36%"));
}

TEST(WindowSettingsView, SliderReportsEveryValueAndTheLabelFollows)
{
    WindowSettingsViewController view(QStringLiteral("灵动岛窗口"), QStringLiteral("透明度与置顶只影响内屏窗口，观众外屏不受影响。"),
                                      0.97, true);
    EXPECT_EQ(view.valueLabel()->text(), QStringLiteral("97%"));
    test::keepSnapshot(view.grab(), QStringLiteral("window-settings"));
    std::vector<double> seen;
    view.onOpacityChanged = [&](double v) { seen.push_back(v); };
    view.slider()->setValue(WindowSettingsViewController::sliderPosition(0.5));
    view.slider()->setValue(WindowSettingsViewController::sliderPosition(0.35));
    EXPECT_EQ(seen, (std::vector<double>{0.5, 0.35}));
    EXPECT_EQ(view.valueLabel()->text(), QStringLiteral("35%"));

    std::vector<bool> tops;
    view.onAlwaysOnTopChanged = [&](bool v) { tops.push_back(v); };
    ASSERT_NE(view.checkbox(), nullptr);
    EXPECT_TRUE(view.checkbox()->isChecked());
    view.checkbox()->setChecked(false);
    EXPECT_EQ(tops, std::vector<bool>{false});
}
