#include "privacy/PrivateWindowRegistry.h"

#include "PrivacyFakes.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/linux/dialogs/QtDialogService.h"
#include "support/QtPrinting.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia;
using platform::Rect;
using platform::Window;
using test::FakeDisplayService;

namespace {

// The application's own dialogs, as the platform makes them, hidden and
// brought back with the private windows.
struct RegistryDialogs : ::testing::Test, test::PrivacyFakes {
    RegistryDialogs()
    {
        // Away from where Qt would centre a dialog of its own accord.
        displays->setScreens({FakeDisplayService::external(7), FakeDisplayService::builtIn(1)});
        displays->setFrame(1, Rect(3000, 0, 1440, 900));
        displays->setMain(7);
        island.orderFront();
        registry.registerWindow(&island);
    }

    QFileDialog* openChooser()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* chooser = qobject_cast<QFileDialog*>(widget); chooser && chooser->isVisible())
                return chooser;
        return nullptr;
    }

    platform::native::QtDialogService dialogs;
    PrivateWindowRegistry registry;
    Window island{Rect(3100, 100, 600, 400)};
};

TEST_F(RegistryDialogs, AChooserHiddenWithTheWindowsReturnsWithThemAndCanStillBeAnswered)
{
    platform::FileDialogRequest request;
    request.title = QStringLiteral("导入项目备份");
    request.parent = &island;
    std::optional<std::optional<QString>> answered;
    dialogs.beginOpenPanel(request, [&](std::optional<QString> path) { answered = path; });
    QFileDialog* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_TRUE(dialogs.isPresenting());

    registry.hideAllAppOwnedWindows();
    EXPECT_FALSE(chooser->isVisible());
    EXPECT_FALSE(island.isVisible());
    // Hidden, it holds nothing up: the arrow keys may step the script again.
    EXPECT_FALSE(dialogs.isPresenting());

    registry.restorePreviouslyVisible();
    EXPECT_TRUE(island.isVisible());
    ASSERT_EQ(openChooser(), chooser);
    EXPECT_TRUE(dialogs.isPresenting());

    chooser->reject();
    clock().settle();
    ASSERT_TRUE(answered.has_value());
    EXPECT_FALSE(answered->has_value());
    EXPECT_FALSE(dialogs.isPresenting());
}

TEST_F(RegistryDialogs, ARestoreWithoutABuiltInScreenKeepsTheChooserForLater)
{
    platform::FileDialogRequest request;
    request.parent = &island;
    dialogs.beginOpenPanel(request, [](std::optional<QString>) {});
    QFileDialog* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    registry.hideAllAppOwnedWindows();
    displays->unplug(1);
    registry.restorePreviouslyVisible();
    EXPECT_FALSE(chooser->isVisible());
    EXPECT_FALSE(island.isVisible());
    EXPECT_TRUE(registry.hasRestorationSnapshot());

    displays->plug(FakeDisplayService::builtIn(1));
    displays->setFrame(1, Rect(3000, 0, 1440, 900));
    registry.restorePreviouslyVisible();
    EXPECT_TRUE(island.isVisible());
    EXPECT_TRUE(chooser->isVisible());
    chooser->reject();
    clock().settle();
}

TEST_F(RegistryDialogs, AChooserBroughtBackAfterTheDisplaysMovedComesBackOnTheBuiltInScreen)
{
    platform::FileDialogRequest request;
    request.parent = &island;
    dialogs.beginOpenPanel(request, [](std::optional<QString>) {});
    QFileDialog* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    // Where the speaker left it on the laptop's screen.
    chooser->move(platform::toQtGlobal(Rect(3400, 300, chooser->width(), chooser->height())).topLeft());
    const QRect before = chooser->frameGeometry();
    ASSERT_TRUE(platform::toQtGlobal(Rect(3000, 0, 1440, 900)).contains(before));
    registry.hideAllAppOwnedWindows();

    // The projector now stands where the laptop's screen stood, which moved left.
    displays->setFrame(7, Rect(3000, 0, 1920, 1080));
    displays->setFrame(1, Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875));
    registry.restorePreviouslyVisible();
    ASSERT_TRUE(chooser->isVisible());
    const QRect builtIn = platform::toQtGlobal(Rect(0, 0, 1440, 875));
    EXPECT_TRUE(builtIn.contains(chooser->frameGeometry()))
        << chooser->frameGeometry().x() << "," << chooser->frameGeometry().y();
    EXPECT_EQ(chooser->frameGeometry().size(), before.size());
    EXPECT_TRUE(Rect(0, 0, 1440, 875).contains(island.frame()));

    // Where it fits already, it stays where the speaker left it.
    chooser->move(chooser->pos() + QPoint(-40, 30));
    const QRect moved = chooser->frameGeometry();
    ASSERT_TRUE(builtIn.contains(moved));
    registry.hideAllAppOwnedWindows();
    registry.restorePreviouslyVisible();
    EXPECT_EQ(chooser->frameGeometry(), moved);
    chooser->reject();
    clock().settle();
}

TEST_F(RegistryDialogs, AnAlertHiddenWithTheWindowsComesBackWaitingAndOpensOnTheBuiltInScreen)
{
    platform::AlertRequest request;
    request.messageText = QStringLiteral("备份导入失败");
    request.buttons = {QStringLiteral("知道了")};
    QRect placed;
    QTimer::singleShot(0, [&] {
        QPointer<QWidget> alert = QApplication::activeModalWidget();
        placed = alert->geometry();
        registry.hideAllAppOwnedWindows();
        EXPECT_FALSE(alert->isVisible());
        QTimer::singleShot(0, &island, [&, alert] {
            registry.restorePreviouslyVisible();
            ASSERT_TRUE(alert && alert->isVisible()) << "the alert did not come back";
            alert->findChild<QPushButton*>()->click();
        });
    });
    EXPECT_EQ(dialogs.runAlert(request).buttonIndex, 0) << "the alert ended unanswered";
    EXPECT_FALSE(dialogs.isPresenting());
    const QRect builtIn = platform::toQtGlobal(Rect(3000, 0, 1440, 900));
    EXPECT_TRUE(builtIn.contains(placed.center())) << placed.x() << "," << placed.y();
}

} // namespace
