#include "privacy/SafetyOverlayWindowController.h"

#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "platform/desktop/Panel.h"
#include "privacy/DisplayTopology.h"
#include "privacy/SafetyOverlayContentView.h"
#include "PrivacyFakes.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;
using test::FakeDisplayService;

namespace {
struct Overlay : ::testing::Test, test::PrivacyFakes {
    SafetyOverlayWindowController overlay;

    Overlay() { displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)}); }

    void click(const QString& title)
    {
        for (auto* b : overlay.window().findChildren<QPushButton*>())
            if (b->text() == title)
                return b->click();
        ADD_FAILURE() << "no button " << title.toStdString();
    }
};
} // namespace

TEST_F(Overlay, CoversTheBuiltInScreensFullFrameAndNothingWithTheLidClosed)
{
    const platform::Panel& panel = overlay.window();
    EXPECT_EQ(panel.sharingType(), platform::SharingType::none);

    overlay.show(QStringLiteral("检测到系统镜像"));
    EXPECT_TRUE(overlay.isShown());
    EXPECT_EQ(panel.frame(), Rect(0, 0, 1440, 900)) << "the full frame, not the visible one";
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("检测到系统镜像"));

    // A new resolution is picked up by the next show.
    displays->setFrame(1, Rect(0, 0, 1280, 800), Rect(0, 0, 1280, 775));
    overlay.show(QStringLiteral("再次"));
    EXPECT_EQ(panel.frame(), Rect(0, 0, 1280, 800));

    // Lid closed: a mask already up keeps its reason; a new one is shown nowhere.
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    overlay.show(QStringLiteral("新原因"));
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("再次"));
    EXPECT_EQ(panel.frame(), Rect(0, 0, 1280, 800));
    overlay.hide();
    overlay.show(QStringLiteral("原因"));
    EXPECT_FALSE(overlay.isShown());
    EXPECT_TRUE(process->active.empty());
}

TEST_F(Overlay, CoversTheSpeakersScreenWhileTheWindowSystemStillLagsBehind)
{
    // The hardware names the speaker's screen; the window system's list has not caught up.
    auto laptop = FakeDisplayService::builtIn(1);
    laptop.isBuiltIn = false;
    laptop.isBuiltInPendingWindowSystem = true;
    laptop.isInMirrorSet = true;
    displays->setScreens({laptop});
    EXPECT_FALSE(DisplayTopology::builtInScreen());
    EXPECT_TRUE(DisplayTopology::externalScreens().empty()) << "the speaker's screen is never an audience display";

    overlay.show(QStringLiteral("系统镜像无法保证私密窗口排除"));
    EXPECT_TRUE(overlay.isShown());
    EXPECT_EQ(overlay.window().frame(), laptop.frame);
}

TEST_F(Overlay, TwoShowsHoldOneActivityAndOneHideEndsIt)
{
    overlay.hide();
    EXPECT_EQ(process->ended, 0) << "hiding while hidden ends nothing";
    overlay.show(QStringLiteral("第一"));
    overlay.show(QStringLiteral("第二"));
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("第二"));
    EXPECT_EQ(process->begun, 1);
    EXPECT_EQ(process->active.size(), 1u);

    overlay.hide();
    EXPECT_FALSE(overlay.isShown());
    EXPECT_TRUE(process->active.empty());
    overlay.show(QStringLiteral("第三"));
    {
        SafetyOverlayWindowController destroyedWhileShown;
        destroyedWhileShown.show(QStringLiteral("原因"));
    }
    EXPECT_EQ(process->active.size(), 1u);
    EXPECT_EQ(process->unknownEnds, 0);
}

TEST_F(Overlay, ButtonsRunTheirCallbacksAndNeverHideTheMask)
{
    overlay.show(QStringLiteral("原因"));
    click(QStringLiteral("重新尝试隐私输出")); // unset callbacks do nothing
    std::vector<QString> calls;
    overlay.onRetry = [&] { calls.push_back(QStringLiteral("retry")); };
    overlay.onStopAndReturn = [&] { calls.push_back(QStringLiteral("stop")); };
    overlay.onTemporaryExit = [&] { calls.push_back(QStringLiteral("exit")); };
    click(QStringLiteral("重新尝试隐私输出"));
    click(QStringLiteral("关闭输出并返回"));
    click(QStringLiteral("临时退出遮罩（私密窗口仍隐藏）"));
    EXPECT_EQ(calls, (std::vector<QString>{QStringLiteral("retry"), QStringLiteral("stop"), QStringLiteral("exit")}));
    click(QStringLiteral("打开显示器设置"));
    EXPECT_EQ(workspace->displaySettingsOpened, 1);
    EXPECT_TRUE(overlay.isShown());
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("原因"));
}

TEST_F(Overlay, NoDisplaySettingsToOpenIsSaidOnTheReasonLine)
{
    workspace->displaySettingsAvailable = false;
    overlay.show(QStringLiteral("检测到系统镜像"));
    click(QStringLiteral("打开显示器设置"));
    click(QStringLiteral("打开显示器设置"));
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("检测到系统镜像")) << "the answer comes later";
    clock().runPending();
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("检测到系统镜像\n")
                                                + SafetyOverlayWindowController::displaySettingsUnavailableMessage());
    EXPECT_TRUE(overlay.isShown());
    // A new reason replaces the note.
    overlay.show(QStringLiteral("再次"));
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("再次"));

    // An answer that comes after a new reason, or after the mask went, notes nothing.
    click(QStringLiteral("打开显示器设置"));
    overlay.show(QStringLiteral("第三次"));
    clock().runPending();
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("第三次"));
    {
        SafetyOverlayWindowController gone;
        gone.show(QStringLiteral("原因"));
        for (auto* b : gone.window().findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("打开显示器设置"))
                b->click();
    }
    clock().runPending();
}

TEST_F(Overlay, LongReasonKeepsFourLinesWithinFortyOfEachEdge)
{
    EXPECT_EQ(SafetyOverlayContentView::columnWidth(900, 800), 720);
    EXPECT_EQ(SafetyOverlayContentView::columnWidth(900, 60), 0);

    overlay.show(QStringLiteral("检测到系统显示镜像：内置屏正被复制到外接显示器，隐私输出已安全停止。").repeated(8));
    QWidget& view = *overlay.window().contentView();
    view.resize(1440, 900);
    QApplication::processEvents();
    test::keepSnapshot(view.grab(), QStringLiteral("safety-overlay"));
    EXPECT_LE(overlay.reasonLabel().height(), overlay.reasonLabel().fontMetrics().lineSpacing() * 4);
}

TEST_F(Overlay, TheMaskIsBuiltWhenFirstNeededAndIsWhollyThereWhenItShows)
{
    // Hidden and asked about before anything needed it: nothing is built.
    overlay.hide();
    EXPECT_FALSE(overlay.isShown());
    EXPECT_FALSE(overlay.isWindowBuilt());

    // Prepared ahead of need: built, hidden, and private from the start.
    overlay.prepareWindow();
    ASSERT_TRUE(overlay.isWindowBuilt());
    platform::Panel* prepared = &overlay.window();
    EXPECT_FALSE(prepared->isVisible());
    EXPECT_EQ(prepared->sharingType(), platform::SharingType::none);
    overlay.prepareWindow();
    EXPECT_EQ(&overlay.window(), prepared);

    // Needed before anyone prepared it: a mask shows at once with its reason and buttons.
    SafetyOverlayWindowController early;
    early.show(QStringLiteral("启动时检测到系统镜像"));
    EXPECT_TRUE(early.isShown());
    EXPECT_EQ(early.window().level(), platform::Window::overlayLevel);
    EXPECT_EQ(early.reasonLabel().text(), QStringLiteral("启动时检测到系统镜像"));
    EXPECT_EQ(early.window().findChildren<QPushButton*>().size(), 4);
    early.hide();
}

// A picture may be drawn before any posted event runs: the column is centred
// for the mask's own width by then.
TEST_F(Overlay, IsLaidOutForItsOwnWidthAsItShows)
{
    displays->setFrame(1, Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1080));
    overlay.show(QStringLiteral("显示器列表尚未一致；私密窗口已先隐藏"));
    const QWidget* column = overlay.reasonLabel().parentWidget();
    EXPECT_NEAR(column->mapTo(&overlay.window(), column->rect().center()).x(), 960, 1);
}
