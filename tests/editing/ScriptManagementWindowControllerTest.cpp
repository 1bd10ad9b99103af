#include "editing/ScriptManagementWindowController.h"

#include "EditingFixture.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QLabel>
#include <QPushButton>

using namespace quorvia;

using ScriptManagementTest = test::EditingFixture;

TEST_F(ScriptManagementTest, ControlsFollowTheScriptEvenWhileHidden)
{
    script.deleteTimeline();
    ScriptManagementWindowController controller(script);
    EXPECT_EQ(controller.statusLabel()->text(), QStringLiteral("尚未导入稿件"));
    EXPECT_EQ(controller.importButton()->text(), QStringLiteral("上传稿件"));
    EXPECT_FALSE(controller.deleteButton()->isEnabled());
    EXPECT_TRUE(controller.addDemoButton()->isEnabled());
    EXPECT_TRUE(controller.uploadDemoButton()->isEnabled());

    script.replaceText(QStringLiteral("1\n开场\n---\nDemo\n演示\n---\n2\n收尾"));
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(controller.statusLabel()->text(), QStringLiteral("3 个时间线块"));
    EXPECT_EQ(controller.importButton()->text(), QStringLiteral("重新导入稿件"));
    EXPECT_TRUE(controller.deleteButton()->isEnabled());

    controller.present();
    ASSERT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(controller.window()->title(), QStringLiteral("稿件管理"));
    const auto visible = test::FakeDisplayService::builtIn(1).visibleFrame;
    EXPECT_EQ(controller.window()->frame(), platform::Rect(visible.midX() - 250, visible.midY() - 125, 500, 250));
    controller.window()->resize(500, 250);
    test::keepSnapshot(controller.window()->grab(), QStringLiteral("script-management"));

    // Closing only hides; the observer keeps working.
    controller.window()->close();
    script.deleteTimeline();
    EXPECT_EQ(controller.statusLabel()->text(), QStringLiteral("尚未导入稿件"));
}

TEST_F(ScriptManagementTest, EachButtonRaisesItsCallbackAndUnsetOnesDoNothing)
{
    script.replaceText(QStringLiteral("1\n开场"));
    ScriptManagementWindowController controller(script);
    std::vector<QString> raised;
    controller.deleteButton()->click(); // nothing set yet
    controller.onImport = [&] { raised.push_back(QStringLiteral("import")); };
    controller.onDelete = [&] { raised.push_back(QStringLiteral("delete")); };
    controller.onAddDemo = [&] { raised.push_back(QStringLiteral("addDemo")); };
    controller.onUploadDemo = [&] { raised.push_back(QStringLiteral("uploadDemo")); };
    for (QPushButton* button : {controller.importButton(), controller.deleteButton(), controller.addDemoButton(),
                                controller.uploadDemoButton()})
        button->click();
    EXPECT_EQ(raised, (std::vector<QString>{"import", "delete", "addDemo", "uploadDemo"}));
}

TEST_F(ScriptManagementTest, WithoutABuiltInScreenPresentingLeavesItHidden)
{
    displays->setScreens({test::FakeDisplayService::external(2)});
    ScriptManagementWindowController controller(script);
    controller.present();
    EXPECT_FALSE(controller.window()->isVisible());
}
