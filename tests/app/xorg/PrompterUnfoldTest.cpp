#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using quorvia::test::RunningApplication;
using quorvia::test::TwoOutputXServer;
using quorvia::test::waitUntil;
using quorvia::test::WindowManagedTwoOutputTest;
using Window = RunningApplication::Window;
namespace controls = quorvia::test::controls;

namespace {

class PrompterUnfoldTest : public WindowManagedTwoOutputTest {
protected:
    void SetUp() override
    {
        WindowManagedTwoOutputTest::SetUp();
        if (HasFatalFailure())
            return;
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->start());
    }

    void TearDown() override
    {
        if (app && app->isRunning()) {
            EXPECT_TRUE(app->quit());
        }
        app.reset();
        WindowManagedTwoOutputTest::TearDown();
    }

    // The window's place on the screen as it stands now.
    std::optional<QRect> outerOf(std::uint32_t id) const
    {
        for (const Window& w : app->windows())
            if (w.id == id)
                return w.outer;
        return std::nullopt;
    }

    std::unique_ptr<RunningApplication> app;
};

// The bubble low on the laptop screen: the window that unfolds from it is
// pushed up, its title bar and border included, to stay on that screen.
TEST_P(PrompterUnfoldTest, NearTheBottomEdgeTheWholeWindowStaysOnTheScreen)
{
    const auto island = app->waitWindow(QString());
    ASSERT_TRUE(island);
    app->click(*island, controls::island::detach, 800);
    auto prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter) << "分离窗口 opened no prompter window";
    const auto before = app->windows();
    app->click(*prompter, controls::prompter::collapse, 800);
    const auto bubble = app->waitNewWindow(before);
    ASSERT_TRUE(bubble) << "缩成圆点 showed no bubble";
    ASSERT_TRUE(waitUntil([&] { return app->windows(QStringLiteral("^私密提词窗口")).empty(); }));

    app->moveWindow(*bubble, {290, 870});
    ASSERT_TRUE(waitUntil([&] { return outerOf(bubble->id) == QRect(290, 870, 56, 56); }))
        << "the bubble did not move near the bottom edge";
    app->clickAt(QPoint(290 + 28, 870 + 28), 800);
    prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter) << "a click on the bubble unfolded no prompter window";
    // A window manager places it in its own time: the place it comes to is what counts.
    const QRect screen = TwoOutputXServer::laptopArea();
    QRect outer;
    EXPECT_TRUE(waitUntil([&] {
        outer = outerOf(prompter->id).value_or(QRect());
        return screen.contains(outer);
    })) << "the whole window stands at " << outer.x() << "," << outer.y() << " " << outer.width() << "x"
        << outer.height();
    EXPECT_GE(prompter->frame.height(), 280) << "the window shrank to fit";
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(PrompterUnfoldTest);

} // namespace
