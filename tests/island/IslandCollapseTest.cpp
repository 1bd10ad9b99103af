#include "island/IslandWindowController.h"

#include "IslandFixture.h"
#include "island/IslandCompactTriggerView.h"
#include "island/IslandWindow.h"
#include "island/IslandWindowGeometry.h"
#include "privacy/DisplayTopology.h"
#include "platform/desktop/Popover.h"
#include "look/IslandButton.h"
#include "look/IslandTriggerPanel.h"
#include "look/DarkColours.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "look/WindowSettingsViewController.h"

#include <QAccessible>
#include <QCheckBox>
#include <QSlider>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

using platform::Rect;
using test::SettingsModule;
using test::StandInModule;

struct IslandCollapseTest : test::IslandFixture, ::testing::Test {
    IslandCollapseTest()
    {
        island->onWillCollapse = [this] {
            // Nothing has changed yet when the owner hears of it.
            events.push_back(island->isExpanded() && island->window()->isVisible() ? "will-collapse"
                                                                                 : "late-will-collapse");
        };
        island->showWindow();
    }

    WindowSettingsViewController* openSettings()
    {
        island->showSettings(&island->settingsButton());
        return island->settingsPopover()
            ? qobject_cast<WindowSettingsViewController*>(island->settingsPopover()->contentView())
            : nullptr;
    }

    std::shared_ptr<SettingsModule> presentation = std::make_shared<SettingsModule>(QStringLiteral("presentation"));
    std::unique_ptr<IslandWindowController> island = std::make_unique<IslandWindowController>(
        std::vector<std::shared_ptr<IslandModule>>{presentation}, preferences);
    std::vector<std::string> events;
};

TEST_F(IslandCollapseTest, CollapseHidesTheIslandAndFadesTheIdleTriggerIn)
{
    ASSERT_NE(openSettings(), nullptr);
    island->toggleExpanded();

    EXPECT_EQ(events, (std::vector<std::string>{"will-collapse"}));
    EXPECT_FALSE(island->isExpanded());
    EXPECT_FALSE(island->window()->isVisible());
    EXPECT_FALSE(island->settingsPopover()->isShown());
    EXPECT_TRUE(island->compactPanel().isVisible());
    EXPECT_EQ(island->compactPanel().frame(), Rect(664, 884, 112, 16));
    EXPECT_FALSE(island->compactPanelHasShadow());
    EXPECT_FALSE(island->compactTrigger().hoverContentVisible());
    EXPECT_DOUBLE_EQ(island->compactPanel().alphaValue(), 0);
    ASSERT_EQ(env.animator().started().size(), 1u);
    EXPECT_DOUBLE_EQ(env.animator().started()[0].duration, 0.16);
    env.animator().finishAll();
    EXPECT_DOUBLE_EQ(island->compactPanel().alphaValue(), 0.97);

    island->toggleExpanded(); // the button is gone; this is what a press on the trigger does
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(IslandCollapseTest, HoverGrowsTheTriggerOnlyWhileCollapsed)
{
    island->compactTrigger().onHoverChanged(true);
    EXPECT_FALSE(island->isCompactHovered());

    displays->setSafeAreaTopInset(1, 32);
    island->toggleExpanded();
    EXPECT_EQ(island->compactPanel().frame(), Rect(610, 862, 220, 38));
    island->compactTrigger().onHoverChanged(true);
    EXPECT_TRUE(island->isCompactHovered());
    EXPECT_TRUE(island->compactTrigger().hoverContentVisible());
    EXPECT_TRUE(island->compactPanelHasShadow());
    EXPECT_DOUBLE_EQ(env.animator().started().back().duration, 0.18);
    env.animator().finishAll();
    EXPECT_EQ(island->compactPanel().frame(), Rect(596, 820, 248, 80));
    test::keepSnapshot(island->compactPanel().grab(), QStringLiteral("island-trigger-hovered"));

    island->compactTrigger().onHoverChanged(false);
    EXPECT_DOUBLE_EQ(env.animator().started().back().duration, 0.14);
    env.animator().finishAll();
    EXPECT_EQ(island->compactPanel().frame(), Rect(610, 862, 220, 38));
    EXPECT_FALSE(island->compactTrigger().hoverContentVisible());

    // A hovered collapse ends idle.
    island->compactTrigger().onHoverChanged(true);
    island->compactTrigger().onActivate();
    island->toggleExpanded();
    EXPECT_FALSE(island->isCompactHovered());
    EXPECT_EQ(island->compactPanel().frame(), Rect(610, 862, 220, 38));
}

TEST_F(IslandCollapseTest, TheTriggerIsAButtonToAssistiveTechnologyAndItsPressExpands)
{
    island->toggleExpanded();
    env.animator().finishAll();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&island->compactTrigger());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("打开灵动岛"));
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(island->isExpanded());
    EXPECT_TRUE(island->window()->isVisible());
}

TEST_F(IslandCollapseTest, ExpandReReadsTheLevelAndFadesInAtTheTopCentre)
{
    island->toggleExpanded();
    env.animator().finishAll();
    island->window()->setFrame(Rect(0, 0, 640, 660));
    preferences.setAlwaysOnTop(false);
    preferences.setOpacity(0.8);
    const auto before = env.animator().started().size();

    island->compactTrigger().onActivate();
    EXPECT_TRUE(island->isExpanded());
    EXPECT_FALSE(island->compactPanel().isVisible());
    EXPECT_TRUE(island->window()->isVisible());
    EXPECT_EQ(island->window()->frame(), Rect(400, 207, 640, 660));
    EXPECT_EQ(island->window()->level(), platform::Window::normalLevel);
    EXPECT_DOUBLE_EQ(island->window()->alphaValue(), 0);
    ASSERT_EQ(env.animator().started().size(), before + 1);
    EXPECT_DOUBLE_EQ(env.animator().started().back().duration, 0.18);
    env.animator().finishAll();
    EXPECT_DOUBLE_EQ(island->window()->alphaValue(), 0.8);

    island->compactTrigger().onActivate();
    island->restoreAfterApplicationReopen();
    EXPECT_EQ(env.animator().started().size(), before + 1);
    EXPECT_TRUE(island->window()->isVisible());
}

TEST_F(IslandCollapseTest, AStaleFadeNeverShowsOrChangesAWindowOfAnotherForm)
{
    island->toggleExpanded();
    island->restoreAfterApplicationReopen(); // collapsed: expands
    EXPECT_TRUE(island->isExpanded());
    env.animator().finishAll();
    EXPECT_FALSE(island->compactPanel().isVisible());
    EXPECT_DOUBLE_EQ(island->compactPanel().alphaValue(), 0);
    EXPECT_DOUBLE_EQ(island->window()->alphaValue(), 0.97);

    // The owner hides the private windows while the trigger fades in.
    island->toggleExpanded();
    island->compactPanel().orderOut();
    env.animator().finishAll();
    EXPECT_FALSE(island->compactPanel().isVisible());
    EXPECT_FALSE(island->window()->isVisible());

    // A height change while collapsed waits for the expansion.
    presentation->setHeight(470);
    EXPECT_EQ(island->window()->frame().height(), 660);
    island->compactTrigger().onActivate();
    EXPECT_EQ(island->window()->frame(), Rect(400, 347, 640, 520));
}

TEST_F(IslandCollapseTest, SettingsChangeTheIslandOnlyAndAreBuiltAnewEachTime)
{
    WindowSettingsViewController* settings = openSettings();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->preferredContentSize(), (platform::Size{620, 472}));
    EXPECT_EQ(presentation->settingsViews, 1);
    // Its secondary texts follow the popover's dark appearance.
    EXPECT_EQ(settings->valueLabel()->palette().color(QPalette::WindowText), dark_colours::secondaryLabel());
    test::keepSnapshot(settings->grab(), QStringLiteral("island-settings"));

    settings->slider()->setValue(WindowSettingsViewController::sliderPosition(0.5));
    EXPECT_DOUBLE_EQ(island->window()->alphaValue(), 0.5);
    EXPECT_DOUBLE_EQ(preferences.opacity(), 0.5);
    EXPECT_DOUBLE_EQ(island->compactPanel().alphaValue(), 1.0);
    settings->checkbox()->click();
    EXPECT_FALSE(preferences.alwaysOnTop());
    EXPECT_EQ(island->window()->level(), platform::Window::normalLevel);
    EXPECT_EQ(island->compactPanel().level(), 25);

    platform::Popover* first = island->settingsPopover();
    openSettings();
    EXPECT_NE(island->settingsPopover(), first);
    EXPECT_EQ(presentation->settingsViews, 2);

    island->toggleExpanded();
    env.animator().finishAll();
    EXPECT_DOUBLE_EQ(island->compactPanel().alphaValue(), 0.5);
}

TEST(IslandSettings, AModuleWithoutSettingsGetsOnlyTheWindowControls)
{
    test::IslandFixture fixture;
    auto module = std::make_shared<StandInModule>(QStringLiteral("project-management"), QStringLiteral("项目管理"), 400);
    IslandWindowController island({module}, fixture.preferences);
    EXPECT_EQ(island.window()->frame().height(), 450);
    island.showSettings(&island.settingsButton());
    auto* settings = qobject_cast<WindowSettingsViewController*>(island.settingsPopover()->contentView());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->preferredContentSize(), (platform::Size{320, 160}));
}

TEST_F(IslandCollapseTest, DestroyingTheControllerStopsItsFadeAndTriggerAnimations)
{
    island->toggleExpanded();
    island->compactTrigger().onHoverChanged(true);
    ASSERT_EQ(env.animator().runningCount(), 2u);
    island.reset();
    EXPECT_EQ(env.animator().runningCount(), 0u);
    env.animator().finishAll();
}

TEST_F(IslandCollapseTest, ASettledHideEndsTheFadeAndTheTriggerResizeInTheirFinalForm)
{
    island->toggleExpanded();
    island->compactTrigger().onHoverChanged(true);
    island->compactPanel().orderOut();
    island->settleForHide();
    EXPECT_EQ(env.animator().runningCount(), 0u);
    EXPECT_DOUBLE_EQ(island->compactPanel().alphaValue(), 0.97);
    EXPECT_EQ(island->compactPanel().frame(),
              island_geometry::compactPanelFrame(*DisplayTopology::builtInScreen(), true));
}

} // namespace
} // namespace quorvia
