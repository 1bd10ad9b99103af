#include "platform/application/ApplicationIcon.h"
#include "platform/application/MenuItems.h"
#include "platform/linux/application/AboutPanel.h"
#include "platform/linux/application/LinuxApplicationShell.h"
#include "platform/linux/application/QtStatusIcon.h"
#include "support/FakeDisplayService.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::MenuItem;
using platform::native::LinuxApplicationShell;

namespace {

// The shell with the main menu the coordinator gives it, on a screen list
// with the audience's display as the primary one.
class ShellMenuTest : public ::testing::Test {
protected:
    ShellMenuTest()
    {
        env.platform().displayService = displays;
        displays->setScreens({test::FakeDisplayService::external(7), test::FakeDisplayService::builtIn(1)});
        displays->setMain(7);
        shell.onReopen = [this] { ++reopens; };
    }

    std::vector<MenuItem> items()
    {
        return {{QStringLiteral("关于Quorvia"), {}, [this] { ++abouts; }},
                {{}, {}, nullptr, true},
                {QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { ++quits; }}};
    }

    // Titles of a menu's entries, an empty one for a separator.
    static QStringList titles(const QMenu& menu)
    {
        QStringList list;
        for (QAction* action : menu.actions())
            list << (action->isSeparator() ? QString() : action->text());
        return list;
    }

    test::TestPlatform env;
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    LinuxApplicationShell shell;
    int reopens = 0;
    int abouts = 0;
    int quits = 0;
};

} // namespace

TEST_F(ShellMenuTest, TheStatusIconReopensOnAClickAndItsMenuHoldsTheMainMenu)
{
    shell.hasStatusArea = [] { return true; };
    shell.setMainMenu(items());
    ASSERT_NE(shell.statusIcon(), nullptr);
    QSystemTrayIcon* tray = shell.statusIcon()->trayIcon();
    EXPECT_FALSE(tray->icon().isNull());

    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(reopens, 1);
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(reopens, 2);
    // The right button only opens the menu.
    emit tray->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(reopens, 2);

    QMenu* menu = tray->contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(titles(*menu), (QStringList{QStringLiteral("关于Quorvia"), QString(), QStringLiteral("退出")}));
    EXPECT_EQ(menu->actions()[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    menu->actions()[0]->trigger();
    menu->actions()[2]->trigger();
    EXPECT_EQ(abouts, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(shell.mainMenu().size(), 3u);
}

TEST_F(ShellMenuTest, WithoutAStatusAreaThereIsNoIconAndTheMenuStaysReachable)
{
    shell.hasStatusArea = [] { return false; };
    shell.setMainMenu(items());
    EXPECT_EQ(shell.statusIcon(), nullptr);
    ASSERT_EQ(shell.mainMenu().size(), 3u);
    EXPECT_EQ(shell.mainMenu()[2].shortcut, QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Where a status area appears later, a new menu brings the icon.
    shell.hasStatusArea = [] { return true; };
    shell.setMainMenu(items());
    EXPECT_NE(shell.statusIcon(), nullptr);
}

TEST_F(ShellMenuTest, TheAboutPanelIsPrivateAndShowsNameIconAndVersionOnTheSpeakersScreen)
{
    QCoreApplication::setApplicationName(QStringLiteral("Quorvia"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));
    // Made hidden, private before it ever shows.
    platform::Window* made = shell.standardAboutPanel();
    ASSERT_NE(made, nullptr);
    EXPECT_FALSE(made->isVisible());
    EXPECT_EQ(made->sharingType(), platform::SharingType::none);
    shell.orderFrontStandardAboutPanel();
    platform::native::AboutPanel* about = shell.aboutPanel();
    ASSERT_EQ(about, made);
    ASSERT_TRUE(about->isVisible());
    EXPECT_EQ(about->sharingType(), platform::SharingType::none);
    EXPECT_EQ(about->title(), QStringLiteral("关于Quorvia"));
    EXPECT_EQ(about->nameLabel()->text(), QStringLiteral("Quorvia"));
    EXPECT_EQ(about->versionLabel()->text(), QStringLiteral("版本 0.1"));
    EXPECT_FALSE(about->iconLabel()->pixmap().isNull());
    EXPECT_FALSE(about->windowIcon().isNull());
    const auto builtIn = test::FakeDisplayService::builtIn(1).visibleFrame;
    EXPECT_TRUE(builtIn.contains(about->frame().origin));
    test::keepSnapshot(about->grab(), QStringLiteral("about-panel"));

    // Escape closes it; asked again, the one panel comes back; with only the audience's screen it stays away.
    QTest::keyClick(about, Qt::Key_Escape);
    EXPECT_FALSE(about->isVisible());
    shell.orderFrontStandardAboutPanel();
    ASSERT_TRUE(about->isVisible());
    about->orderOut();
    displays->setScreens({test::FakeDisplayService::external(7)});
    shell.orderFrontStandardAboutPanel();
    EXPECT_EQ(shell.aboutPanel(), about);
    EXPECT_FALSE(about->isVisible());
}

TEST(ApplicationIcon, BothIconsDrawFromTheirOwnPictures)
{
    const QImage app = platform::applicationIcon().pixmap(64, 64).toImage();
    const QImage backup = platform::backupPackageIcon().pixmap(64, 64).toImage();
    ASSERT_FALSE(app.isNull());
    ASSERT_FALSE(backup.isNull());
    // Drawn, not blank, and not the same picture.
    EXPECT_GT(qAlpha(app.pixel(32, 32)), 0);
    EXPECT_NE(app, backup);
}

// Drawn nowhere, an alert at the end could never be answered: even the menu's
// quit waits for no one there.
TEST_F(ShellMenuTest, AQuitWhereNothingIsDrawnIsUnattended)
{
    ASSERT_TRUE(QGuiApplication::platformName().startsWith(QLatin1String("offscreen")));
    std::vector<platform::QuitRequest> asked;
    shell.shouldTerminate = [&](platform::QuitRequest request) {
        asked.push_back(request);
        return platform::TerminateReply::later;
    };
    shell.terminate(platform::QuitRequest::speaker);
    shell.replyToTermination(false);
    EXPECT_EQ(asked, std::vector{platform::QuitRequest::unattended});
}
