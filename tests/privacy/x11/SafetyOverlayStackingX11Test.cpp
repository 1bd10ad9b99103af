#include "platform/desktop/Panel.h"
#include "platform/linux/application/QtScheduler.h"
#include "privacy/SafetyOverlayWindowController.h"
#include "support/EventWait.h"
#include "support/FakeDisplayService.h"
#include "support/FakeProcessService.h"
#include "support/FakeWorkspace.h"
#include "support/QtPrinting.h"
#include "support/ScreenPixels.h"
#include "support/StackingWatch.h"
#include "support/TestPlatform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia;

namespace {

const QColor alertColour(255, 0, 255);

// The safety overlay on the test X server's screen, which stands in as the
// built-in one, and windows of ours that open while it is up.
class SafetyOverlayStackingX11Test : public ::testing::Test {
protected:
    SafetyOverlayStackingX11Test()
    {
        auto& p = env.platform();
        p.schedulerService = std::make_shared<platform::native::QtScheduler>();
        platform::Screen builtIn = test::FakeDisplayService::builtIn(1);
        builtIn.frame = builtIn.visibleFrame = platform::Rect(0, 0, 1920, 1080);
        displays->setScreens({builtIn});
        p.displayService = displays;
        p.processService = std::make_shared<test::FakeProcessService>();
        p.workspaceService = std::make_shared<test::FakeWorkspace>();
    }

    // Where a window stands inside its own frame, away from any text.
    static QPoint insideOf(const QWidget& window) { return window.geometry().topLeft() + QPoint(6, 6); }

    test::TestPlatform env;
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    test::ScreenPixels shown;
};

// An alert with no parent stays on top as the application's alerts do; a
// chooser opens plainly. Either one opened under the mask stays beneath it.
TEST_F(SafetyOverlayStackingX11Test, AWindowOfOursOpenedWhileTheMaskIsUpStaysBeneathIt)
{
    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
    ASSERT_TRUE(test::waitUntil([&] { return shown.at({300, 300}) == Qt::black; })) << "the mask never showed";

    const auto mask = std::uint32_t(overlay.window().winId());
    for (const bool staysOnTop : {true, false}) {
        QDialog dialog;
        if (staysOnTop)
            dialog.setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint);
        dialog.setAutoFillBackground(true);
        QPalette palette = dialog.palette();
        palette.setColor(QPalette::Window, alertColour);
        dialog.setPalette(palette);
        dialog.setGeometry(500, 300, 420, 200);
        test::StackingWatch stack(QString::fromLocal8Bit(qgetenv("DISPLAY")));
        dialog.show();
        // Beneath the mask from the moment it is mapped, and still once drawn.
        const std::uint32_t mapped = stack.waitUntilMapped(std::uint32_t(dialog.winId()));
        EXPECT_GT(stack.placeWhenMapped(mapped, mask), stack.placeWhenMapped(mapped, mapped))
            << "stays on top " << staysOnTop << ": mapped above the mask";
        EXPECT_TRUE(test::waitUntil([&] {
            return dialog.testAttribute(Qt::WA_Mapped) && shown.at(insideOf(dialog)) == Qt::black;
        })) << "stays on top " << staysOnTop << ": the window stands above the mask";
        EXPECT_GT(stack.placeNow(mask), stack.placeNow(mapped)) << "stays on top " << staysOnTop;
        dialog.hide();
    }

    // Down, the mask lets windows opened later show as usual.
    overlay.hide();
    QDialog after;
    after.setAutoFillBackground(true);
    QPalette palette = after.palette();
    palette.setColor(QPalette::Window, alertColour);
    after.setPalette(palette);
    after.setGeometry(500, 300, 420, 200);
    after.show();
    EXPECT_TRUE(test::waitUntil([&] { return shown.at(insideOf(after)) == alertColour; }));
}

// An alert that stays on top goes above the mask again when it is raised and
// becomes the active window: one that was up before the mask came, brought to
// the front only now, must end beneath the mask too.
TEST_F(SafetyOverlayStackingX11Test, AnAlertActivatedWhileTheMaskIsUpEndsBeneathIt)
{
    QDialog earlier(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    earlier.setGeometry(500, 300, 420, 200);
    earlier.show();
    ASSERT_TRUE(test::waitUntil([&] { return earlier.testAttribute(Qt::WA_Mapped); }));
    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
    ASSERT_TRUE(test::waitUntil([&] { return shown.at({300, 300}) == Qt::black; })) << "the mask never showed";
    const auto mask = std::uint32_t(overlay.window().winId());
    const auto earlierID = std::uint32_t(earlier.winId());
    test::StackingWatch stack(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    ASSERT_GT(stack.placeNow(mask), stack.placeNow(earlierID));
    earlier.raise();
    earlier.activateWindow();
    ASSERT_TRUE(test::waitUntil([&] { return earlier.isActiveWindow(); }));
    // Raised and made active before this asks, it must go beneath the mask again.
    EXPECT_TRUE(test::waitUntil([&] { return stack.placeNow(mask) > stack.placeNow(earlierID); }))
        << "the mask stands at " << stack.placeNow(mask) << ", the alert up before it at " << stack.placeNow(earlierID);
}

// Without a window manager nothing activates a modal alert run through the
// dialog service while the mask is up: it must be beneath the mask the moment
// it is mapped, not once something raises the mask later.
TEST_F(SafetyOverlayStackingX11Test, AModalAlertRunWhileTheMaskIsUpIsMappedBeneathIt)
{
    SafetyOverlayWindowController overlay;
    overlay.show(QStringLiteral("检测到系统镜像；私密窗口已先隐藏"));
    ASSERT_TRUE(test::waitUntil([&] { return shown.at({300, 300}) == Qt::black; })) << "the mask never showed";
    const auto mask = std::uint32_t(overlay.window().winId());
    test::StackingWatch stack(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    stack.expectAnAlertBeneath(mask);
}

} // namespace
