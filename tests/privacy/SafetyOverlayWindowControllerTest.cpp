#include "privacy/SafetyOverlayWindowController.h"

#include "platform/Panel.h"
#include "privacy/SafetyOverlayContentView.h"
#include "support/FakeDisplayService.h"
#include "support/FakeProcessService.h"
#include "support/FakeWorkspace.h"
#include "support/TestPlatform.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Rect;
using test::FakeDisplayService;

namespace {
struct Overlay : ::testing::Test {
    test::TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    std::shared_ptr<test::FakeProcessService> process = std::make_shared<test::FakeProcessService>();
    std::shared_ptr<test::FakeWorkspace> workspace = std::make_shared<test::FakeWorkspace>();

    Overlay()
    {
        env.platform().displayService = displays;
        env.platform().processService = process;
        env.platform().workspaceService = workspace;
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7)});
    }

    QPushButton* buttonTitled(SafetyOverlayWindowController& overlay, const QString& title)
    {
        for (auto* b : overlay.window().findChildren<QPushButton*>())
            if (b->text() == title)
                return b;
        return nullptr;
    }
};
} // namespace

TEST_F(Overlay, CoversTheBuiltInScreensFullFrameAndStaysOutOfCapture)
{
    SafetyOverlayWindowController overlay;
    const platform::Panel& panel = overlay.window();
    EXPECT_EQ(panel.level(), 1000);
    EXPECT_EQ(panel.sharingType(), platform::SharingType::none);
    EXPECT_FALSE(panel.canBecomeKey());
    EXPECT_TRUE(platform::contains(panel.collectionBehavior(), platform::CollectionBehavior::canJoinAllSpaces));
    EXPECT_TRUE(platform::contains(panel.collectionBehavior(), platform::CollectionBehavior::stationary));

    overlay.show(QStringLiteral("检测到系统镜像"));
    EXPECT_TRUE(overlay.isShown());
    EXPECT_EQ(panel.frame(), Rect(0, 0, 1440, 900)) << "the full frame, not the visible one";
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("检测到系统镜像"));

    // A new resolution is picked up by the next show.
    displays->setFrame(1, Rect(0, 0, 1280, 800), Rect(0, 0, 1280, 775));
    overlay.show(QStringLiteral("再次"));
    EXPECT_EQ(panel.frame(), Rect(0, 0, 1280, 800));
}

TEST_F(Overlay, TwoShowsHoldOneActivityAndOneHideEndsIt)
{
    SafetyOverlayWindowController overlay;
    overlay.hide();
    EXPECT_EQ(process->ended, 0) << "hiding while hidden ends nothing";

    overlay.show(QStringLiteral("第一"));
    overlay.show(QStringLiteral("第二"));
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("第二"));
    EXPECT_EQ(process->begun, 1);
    ASSERT_EQ(process->active.size(), 1u);
    const auto& activity = process->active.begin()->second;
    EXPECT_EQ(activity.reason, QStringLiteral("保持镜像安全遮罩可见"));
    EXPECT_TRUE(activity.options.userInitiated);
    EXPECT_TRUE(activity.options.idleDisplaySleepDisabled);

    overlay.hide();
    EXPECT_FALSE(overlay.isShown());
    EXPECT_TRUE(process->active.empty());
    EXPECT_EQ(process->ended, 1);
    overlay.hide();
    EXPECT_EQ(process->ended, 1);
}

TEST_F(Overlay, WithTheLidClosedNothingIsShownAnywhere)
{
    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("旧原因"));
    displays->setScreens({FakeDisplayService::external(7, QStringLiteral("A"), Rect(0, 0, 1920, 1080))});
    overlay.show(QStringLiteral("新原因"));
    EXPECT_EQ(overlay.reasonLabel().text(), QStringLiteral("旧原因")) << "a mask already up keeps its reason";
    EXPECT_EQ(overlay.window().frame(), Rect(0, 0, 1440, 900));
    overlay.hide();

    SafetyOverlayWindowController fresh;
    fresh.show(QStringLiteral("原因"));
    EXPECT_FALSE(fresh.isShown());
    EXPECT_FALSE(fresh.holdsActivity());
    EXPECT_EQ(process->active.size(), 0u);
}

TEST_F(Overlay, ButtonsRunTheirCallbacksAndNeverHideTheMask)
{
    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("原因"));
    std::vector<QString> calls;
    // Unset callbacks do nothing.
    buttonTitled(overlay, QStringLiteral("重新尝试隐私输出"))->click();

    overlay.onRetry = [&] { calls.push_back(QStringLiteral("retry")); };
    overlay.onStopAndReturn = [&] { calls.push_back(QStringLiteral("stop")); };
    overlay.onTemporaryExit = [&] { calls.push_back(QStringLiteral("exit")); };
    buttonTitled(overlay, QStringLiteral("重新尝试隐私输出"))->click();
    buttonTitled(overlay, QStringLiteral("关闭输出并返回"))->click();
    buttonTitled(overlay, QStringLiteral("临时退出遮罩（私密窗口仍隐藏）"))->click();
    EXPECT_EQ(calls, (std::vector<QString>{QStringLiteral("retry"), QStringLiteral("stop"), QStringLiteral("exit")}));

    buttonTitled(overlay, QStringLiteral("打开显示器设置"))->click();
    EXPECT_EQ(workspace->displaySettingsOpened, 1);
    workspace->displaySettingsAvailable = false;
    buttonTitled(overlay, QStringLiteral("打开显示器设置"))->click();
    EXPECT_EQ(workspace->displaySettingsOpened, 2);
    EXPECT_TRUE(overlay.isShown());
}

TEST_F(Overlay, DestroyingAShownMaskEndsItsActivity)
{
    {
        SafetyOverlayWindowController overlay;
        overlay.show(QStringLiteral("原因"));
    }
    EXPECT_TRUE(process->active.empty());
    EXPECT_EQ(process->unknownEnds, 0);
}

TEST(SafetyOverlayContentView, ColumnKeepsFortyFromEachEdge)
{
    EXPECT_EQ(SafetyOverlayContentView::columnWidth(900, 1440), 900);
    EXPECT_EQ(SafetyOverlayContentView::columnWidth(900, 800), 720);
    EXPECT_EQ(SafetyOverlayContentView::columnWidth(900, 60), 0);
}

TEST_F(Overlay, SnapshotWithALongReason)
{
    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("检测到系统显示镜像：内置屏正被复制到外接显示器。为保护演讲者的私密内容，"
                                "隐私输出已安全停止，所有私密窗口均已隐藏，直到恢复扩展显示为止。"
                                "这段原因特意写得很长，用来检查遮罩最多只显示四行原因文字，多余部分会被截掉，"
                                "不会把说明文字和按钮挤出屏幕之外。再多写一些字来确保超过四行的长度限制。"));
    QWidget& view = *overlay.window().contentView();
    view.resize(1440, 900);
    QApplication::processEvents();
    const QPixmap picture = view.grab();
    EXPECT_FALSE(picture.isNull());
    EXPECT_LE(overlay.reasonLabel().height(), overlay.reasonLabel().fontMetrics().lineSpacing() * 4);
    const QString dir = qEnvironmentVariable("QUORVIA_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        picture.save(QDir(dir).filePath(QStringLiteral("safety-overlay.png")));
    overlay.hide();
}
