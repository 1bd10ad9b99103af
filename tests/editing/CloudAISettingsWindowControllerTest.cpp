#include "editing/CloudAISettingsWindowController.h"

#include "EditingFixture.h"
#include "editing/CloudAISettings.h"
#include "support/MemoryKeychain.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace quorvia;

namespace {

class CloudAISettingsWindowTest : public test::EditingFixture {
protected:
    CloudAISettingsWindowTest()
    {
        EXPECT_TRUE(settings.save(QStringLiteral("https://match.example/match"), QStringLiteral("small"), QStringLiteral("secret")));
    }

    void type(const QString& endpoint, const QString& model, const QString& token)
    {
        controller.endpointField()->setText(endpoint);
        controller.modelField()->setText(model);
        controller.tokenField()->setText(token);
    }

    test::MemoryKeychain keychain;
    CloudAISettings settings{&env.defaults(), CloudCredentialStore(&keychain)};
    CloudAISettingsWindowController controller{settings};
};

} // namespace

TEST_F(CloudAISettingsWindowTest, PresentFillsTheStoredValuesWithTheTokenMasked)
{
    EXPECT_FALSE(controller.window()->isVisible());
    controller.present();
    ASSERT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(controller.window()->title(), QStringLiteral("云端 AI 页码匹配设置"));
    EXPECT_EQ(controller.endpointField()->text(), QStringLiteral("https://match.example/match"));
    EXPECT_EQ(controller.modelField()->text(), QStringLiteral("small"));
    EXPECT_EQ(controller.tokenField()->text(), QStringLiteral("secret"));
    EXPECT_EQ(controller.tokenField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(controller.endpointField()->placeholderText(), QStringLiteral("https://example.invalid/match"));
    const auto visible = test::FakeDisplayService::builtIn(1).visibleFrame;
    EXPECT_EQ(controller.window()->frame(), platform::Rect(visible.midX() - 310, visible.midY() - 195, 620, 390));
    controller.window()->resize(620, 390);
    test::keepSnapshot(controller.window()->grab(), QStringLiteral("cloud-settings"));
}

TEST_F(CloudAISettingsWindowTest, AnHttpEndpointShowsTheRedErrorAndChangesNothing)
{
    controller.present();
    type(QStringLiteral("http://match.example/match"), QStringLiteral("other"), QStringLiteral("new"));
    controller.savePressed();
    EXPECT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(controller.statusLabel()->text(), QStringLiteral("云端匹配服务必须使用 HTTPS。"));
    EXPECT_EQ(controller.statusLabel()->palette().color(QPalette::WindowText), QColor(255, 69, 58));
    EXPECT_EQ(controller.endpointField()->text(), QStringLiteral("http://match.example/match"));
    controller.window()->resize(620, 390);
    test::keepSnapshot(controller.window()->grab(), QStringLiteral("cloud-settings-error"));
    EXPECT_EQ(settings.endpointText(), QStringLiteral("https://match.example/match"));
    EXPECT_EQ(settings.model(), QStringLiteral("small"));
    EXPECT_EQ(settings.token(), QStringLiteral("secret"));

    // Reopening shows the stored values and no error.
    controller.cancelPressed();
    controller.present();
    EXPECT_EQ(controller.statusLabel()->text(), QString());
    EXPECT_EQ(controller.endpointField()->text(), QStringLiteral("https://match.example/match"));
}

TEST_F(CloudAISettingsWindowTest, SavingClearsWhatIsEmptiedAndHides)
{
    controller.present();
    type(QStringLiteral(""), QStringLiteral(" "), QStringLiteral(""));
    controller.saveButton()->click();
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(settings.endpointText(), QString());
    EXPECT_TRUE(keychain.items.empty());
    controller.present();
    EXPECT_EQ(controller.tokenField()->text(), QString());

    keychain.refuseWrites = true;
    type(QStringLiteral("https://match.example/v2"), QString(), QStringLiteral("t"));
    controller.savePressed();
    EXPECT_EQ(controller.statusLabel()->text(), QStringLiteral("请先配置云端匹配服务地址和访问令牌。"));
    EXPECT_TRUE(controller.window()->isVisible());
}

TEST_F(CloudAISettingsWindowTest, WithoutABuiltInScreenPresentingLeavesItHidden)
{
    displays->setScreens({test::FakeDisplayService::external(2)});
    controller.present();
    EXPECT_FALSE(controller.window()->isVisible());
    displays->setScreens({test::FakeDisplayService::builtIn(1)});
    controller.positionOnBuiltInScreen();
    EXPECT_FALSE(controller.window()->isVisible());
}
