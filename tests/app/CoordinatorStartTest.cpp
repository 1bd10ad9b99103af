#include "CoordinatorHarness.h"

#include "privacy/PrivateWindowRegistry.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>

using namespace quorvia;
using namespace quorvia::test;
using Key = platform::KeyPress::Key;

namespace {

class CoordinatorStartTest : public CoordinatorHarness {
protected:
    void threeBlocks()
    {
        app().script().replaceText(QStringLiteral("1\none\n---\n2\ntwo\n---\n3\nthree"));
        app().script().setIndex(1, PresentationEventSource::manualPrompt);
    }
    qint64 index() { return app().script().currentIndex(); }
};

TEST_F(CoordinatorStartTest, BuildsTheMenuWithAboutAndQuitOnControlQ)
{
    buildAndStart();
    ASSERT_EQ(shell->menu.size(), 3u);
    EXPECT_EQ(shell->menu[0].title, QStringLiteral("关于Quorvia"));
    EXPECT_TRUE(shell->menu[1].isSeparator);
    const auto* quit = shell->menuItem(QStringLiteral("退出"));
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut, QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->action();
    EXPECT_EQ(shell->terminateRequests, 1);
    shell->menu[0].action();
    EXPECT_EQ(shell->aboutPanels, 1);
}

TEST_F(CoordinatorStartTest, TheIslandsContextMenuReachesAboutAndQuit)
{
    buildAndStart();
    IslandWindowController& island = *app().island();
    QWidget* background = island.window()->contentView();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(300, 40), background->mapToGlobal(QPoint(300, 40)));
    QApplication::sendEvent(background, &click);
    QMenu* menu = island.contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("关于Quorvia"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), QStringLiteral("退出"));
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    actions[0]->trigger();
    EXPECT_EQ(shell->aboutPanels, 1);
    const auto registered = app().windows().registeredWindows();
    EXPECT_NE(std::find(registered.begin(), registered.end(), shell->about.get()), registered.end());
    // While the emergency key holds the windows hidden no new window shows.
    pressEmergencyKey();
    shell->menu[0].action();
    EXPECT_EQ(shell->aboutPanels, 1);
    pressEmergencyKey();
    shell->menu[0].action();
    EXPECT_EQ(shell->aboutPanels, 2);

    actions[2]->trigger();
    EXPECT_EQ(shell->terminateRequests, 1);
}

TEST_F(CoordinatorStartTest, StartsSafelyOrRaisesTheShieldWhenDisplaysAreMirrored)
{
    buildAndStart();
    EXPECT_FALSE(app().isShieldActive());
    EXPECT_FALSE(app().safetyOverlay().isShown());
    EXPECT_GE(shell->activations, 1);
    ASSERT_TRUE(app().island());
    EXPECT_TRUE(app().island()->window()->isVisible());
    const auto registered = app().windows().registeredWindows();
    EXPECT_EQ(std::vector(registered.begin(), registered.begin() + 2), app().island()->privateWindows());
    ASSERT_FALSE(app().modules().modules().empty());
    EXPECT_EQ(app().modules().modules().back()->id(), QStringLiteral("project-management"));

    coordinator.reset();
    mirrorDisplays();
    buildAndStart();
    EXPECT_TRUE(app().isShieldActive());
    EXPECT_TRUE(app().safetyOverlay().isShown());
    EXPECT_EQ(app().safetyOverlay().reasonLabel().text(), QStringLiteral("启动时检测到系统镜像；私密窗口保持隐藏"));
    EXPECT_FALSE(app().island()->window()->isVisible());

    // Stopping with the mirroring gone returns the speaker to the island.
    displays->unmirror();
    app().stopPrivacyOutputAndReturn();
    EXPECT_TRUE(app().island()->window()->isVisible());
    EXPECT_FALSE(app().safetyOverlay().isShown());
}

TEST_F(CoordinatorStartTest, ArrowKeysStepTheScriptOnlyWhenNothingElseWantsThem)
{
    buildAndStart();
    threeBlocks();

    EXPECT_TRUE(shell->press({Key::left, false, false, false, true})); // Shift does not count
    EXPECT_EQ(index(), 0);
    EXPECT_TRUE(shell->press({Key::left}));
    EXPECT_EQ(index(), 0); // at the first block the key is still used up
    EXPECT_TRUE(shell->press({Key::right}));
    EXPECT_EQ(index(), 1);

    EXPECT_FALSE(shell->press({Key::right, true}));
    EXPECT_FALSE(shell->press({Key::right, false, true}));
    EXPECT_FALSE(shell->press({Key::right, false, false, true}));
    EXPECT_FALSE(shell->press({Key::other}));

    shell->modal = true;
    EXPECT_FALSE(shell->press({Key::right}));
    shell->modal = false;
    dialogs->filePanelKey = true;
    EXPECT_FALSE(shell->press({Key::right}));
    dialogs->filePanelKey = false;
    shell->textFocus = true;
    EXPECT_FALSE(shell->press({Key::right}));
    shell->textFocus = false;
    EXPECT_EQ(index(), 1);
}

TEST_F(CoordinatorStartTest, TheHiddenSafetyOverlayIsBuiltOnceTheIslandIsOnScreenAndBeforeTheDisplayWatchTicks)
{
    buildAndStart();
    EXPECT_FALSE(app().safetyOverlay().isWindowBuilt()) << "built before the island was painted";
    // The island's first picture reaches the screen.
    quorvia::test::waitUntil([&] {
        settle();
        return app().safetyOverlay().isWindowBuilt();
    });
    EXPECT_TRUE(app().safetyOverlay().isWindowBuilt());
    EXPECT_FALSE(app().safetyOverlay().isShown());

    // An island that is never painted leaves it no later than a fraction of the first tick.
    coordinator.reset();
    buildAndStart();
    EXPECT_FALSE(app().safetyOverlay().isWindowBuilt());
    runFor(AppCoordinator::hiddenWindowsLatestDelay);
    EXPECT_TRUE(app().safetyOverlay().isWindowBuilt());
    EXPECT_LT(AppCoordinator::hiddenWindowsLatestDelay, AppCoordinator::topologyInterval / 2);
}

TEST_F(CoordinatorStartTest, AGoneCoordinatorAnswersEveryCallbackSafely)
{
    buildAndStart();
    threeBlocks();
    auto pointer = app().engine().shouldSuppressPointer;
    auto bounds = app().engine().arePrivateWindowsWithinSafeBounds;
    auto retry = app().safetyOverlay().onRetry;
    auto monitor = shell->monitors.begin()->second;
    coordinator.reset();
    EXPECT_TRUE(pointer({10, 10}));
    EXPECT_FALSE(bounds());
    retry();
    EXPECT_FALSE(monitor({Key::right}));
}

} // namespace
