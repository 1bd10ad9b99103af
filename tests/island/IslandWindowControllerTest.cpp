#include "island/IslandWindowController.h"

#include "IslandFixture.h"
#include "island/IslandCompactTriggerView.h"
#include "island/IslandResizeHandleView.h"
#include "island/IslandWindow.h"
#include "platform/desktop/Popover.h"
#include "look/IslandButton.h"
#include "look/IslandTriggerPanel.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "look/WindowSettingsViewController.h"
#include "platform/desktop/ScreenSpace.h"
#include "support/FakePointerService.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

using platform::Rect;
using test::SettingsModule;
using test::StandInModule;

struct IslandWindowControllerTest : test::IslandFixture, ::testing::Test {
    std::shared_ptr<SettingsModule> presentation = std::make_shared<SettingsModule>(QStringLiteral("presentation"));
    std::shared_ptr<StandInModule> projects =
        std::make_shared<StandInModule>(QStringLiteral("project-management"), QStringLiteral("项目管理"), 400);

    std::unique_ptr<IslandWindowController> makeIsland()
    {
        auto island = std::make_unique<IslandWindowController>(
            std::vector<std::shared_ptr<IslandModule>>{presentation, projects}, preferences);
        island->onWindowFrameChanged = [this] { ++frameCallbacks; };
        island->onWillCollapse = [this] { ++collapses; };
        return island;
    }

    int frameCallbacks = 0;
    int collapses = 0;
};

TEST_F(IslandWindowControllerTest, ConstructionHostsTheFirstModuleAtTheTopCentre)
{
    auto island = makeIsland();
    EXPECT_EQ(presentation->calls, (std::vector<std::string>{"resign", "become", "make"}));
    EXPECT_TRUE(projects->calls.empty());
    EXPECT_EQ(island->moduleTitle().text(), QStringLiteral("演讲提词"));
    EXPECT_EQ(island->window()->frame(), Rect(400, 207, 640, 660));
    EXPECT_TRUE(island->isExpanded());
    EXPECT_FALSE(island->window()->isVisible());
    EXPECT_FALSE(island->compactPanel().isVisible());
    EXPECT_EQ(island->window()->sharingType(), platform::SharingType::none);
    EXPECT_EQ(island->window()->level(), platform::Window::floatingLevel);
    EXPECT_DOUBLE_EQ(island->window()->alphaValue(), 0.97);
    EXPECT_EQ(island->compactPanel().level(), 25);
    const auto windows = island->privateWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0], island->window());
    EXPECT_EQ(windows[1], &island->compactPanel());

    // The content area is the window less 44 wide and 140 high.
    island->showWindow();
    EXPECT_EQ(island->moduleContent().geometry(), QRect(22, 70, 596, 520));
    EXPECT_EQ(island->collapseButton().geometry(), QRect(22, 602, 596, 40));
    EXPECT_EQ(island->collapseButton().text(), QStringLiteral("收起到顶部"));
    EXPECT_EQ(island->settingsButton().toolTip(), QStringLiteral("透明度与置顶设置"));
    test::keepSnapshot(island->window()->grab(), QStringLiteral("island-window"));
}

TEST_F(IslandWindowControllerTest, ModuleHeightChangesKeepTheTopEdgeAndIgnoreOtherModules)
{
    auto island = makeIsland();
    const double top = island->window()->frame().maxY();

    presentation->setHeight(470);
    EXPECT_EQ(island->window()->frame(), Rect(400, 347, 640, 520));
    EXPECT_EQ(island->window()->frame().maxY(), top);
    EXPECT_GE(frameCallbacks, 2); // the resize itself, then the height rule
    const int afterShrink = frameCallbacks;

    presentation->setHeight(470.3);
    EXPECT_EQ(frameCallbacks, afterShrink);
    projects->setHeight(900);
    EXPECT_EQ(island->window()->frame().height(), 520);
    // Not the registered object, though the id is the same.
    StandInModule impostor(QStringLiteral("presentation"), {}, 100);
    impostor.setHeight(100);
    EXPECT_EQ(island->window()->frame().height(), 520);
    EXPECT_EQ(frameCallbacks, afterShrink);
}

TEST_F(IslandWindowControllerTest, ResizeHandlesDragFromTheirPressAndStopAtTheMinimum)
{
    auto island = makeIsland();
    IslandResizeHandleView* left = island->resizeHandles()[0];
    IslandResizeHandleView* bottom = island->resizeHandles()[3];
    ASSERT_EQ(left->edge(), IslandResizeEdge::left);
    ASSERT_EQ(bottom->edge(), IslandResizeEdge::bottom);

    left->dragTo({600, 500}); // no press yet
    EXPECT_EQ(island->window()->frame(), Rect(400, 207, 640, 660));
    left->beginDrag({400, 500});
    left->dragTo({500, 500});
    EXPECT_EQ(island->window()->frame(), Rect(500, 207, 540, 660));
    left->dragTo({600, 500});
    EXPECT_EQ(island->window()->frame(), Rect(520, 207, 520, 660));
    left->endDrag();
    left->dragTo({300, 500});
    EXPECT_EQ(island->window()->frame().width(), 520);

    bottom->beginDrag({700, 207});
    bottom->dragTo({700, 107});
    EXPECT_EQ(island->window()->frame(), Rect(520, 107, 520, 760));
    bottom->dragTo({700, 800}); // the minimum height binds only the handles
    EXPECT_EQ(island->window()->frame(), Rect(520, 307, 520, 560));
    EXPECT_EQ(IslandResizeHandleView::cursorShape(IslandResizeEdge::topRight), Qt::SizeBDiagCursor);

    // Held by the server's word: a release a busy program hears of late ends where the button went up, after the
    // moves made before it; what Qt tells after that is spent. A release noted before the press is another's.
    auto pointer = std::make_shared<test::FakePointerService>();
    env.platform().pointerService = pointer;
    const auto released = [](std::uint64_t number, platform::Point at) {
        platform::PointerService::Press press;
        press.number = number;
        press.release = at;
        return press;
    };
    pointer->press = released(7, platform::Point{});
    IslandResizeHandleView* right = island->resizeHandles()[1];
    const auto send = [&](QEvent::Type type, double x) {
        QMouseEvent event(type, QPointF(), QPointF(x, 300), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(right, &event);
    };
    send(QEvent::MouseButtonPress, 1000);
    send(QEvent::MouseMove, 1050);
    env.scheduler().advance(0.1);
    send(QEvent::MouseMove, 1100);
    EXPECT_EQ(island->window()->frame(), Rect(520, 307, 620, 560));
    pointer->press = released(8, platform::fromQtGlobal(QPointF(1180, 300)));
    env.scheduler().advance(0.1);
    send(QEvent::MouseMove, 1300);
    send(QEvent::MouseButtonRelease, 1300);
    EXPECT_EQ(island->window()->frame(), Rect(520, 307, 700, 560));
}

TEST_F(IslandWindowControllerTest, WithoutABuiltInScreenTheIslandIsNeitherPlacedNorCollapsed)
{
    auto island = makeIsland();
    displays->setScreens({test::FakeDisplayService::external(7)});
    island->window()->setFrame(Rect(10, 10, 640, 660));
    island->positionOnBuiltInScreen();
    EXPECT_EQ(island->window()->frame(), Rect(10, 10, 640, 660));
    island->toggleExpanded();
    EXPECT_EQ(collapses, 0);
    EXPECT_TRUE(island->isExpanded());
    EXPECT_FALSE(island->compactPanel().isVisible());
}

} // namespace
} // namespace quorvia
