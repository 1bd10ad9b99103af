#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"
#include "support/WindowManager.h"

#include <gtest/gtest.h>

#include <memory>

using quorvia::test::RunningApplication;
using quorvia::test::runEventsFor;
using quorvia::test::TwoOutputXServer;
using quorvia::test::waitUntil;
using quorvia::test::WindowManager;
using Window = RunningApplication::Window;
namespace controls = quorvia::test::controls;

namespace {

enum class Manager { none, openbox };

class PrompterUnfoldTest : public ::testing::TestWithParam<Manager> {
protected:
    void SetUp() override
    {
        display = TwoOutputXServer::display();
        ASSERT_FALSE(display.isEmpty()) << "the two-output test X server did not start";
        ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
        if (GetParam() == Manager::openbox) {
            manager = std::make_unique<WindowManager>(display);
            ASSERT_TRUE(manager->start()) << manager->failure().toStdString();
        }
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->start());
    }

    void TearDown() override
    {
        if (app && app->isRunning()) {
            EXPECT_TRUE(app->quit());
        }
        app.reset();
        manager.reset();
        TwoOutputXServer::restoreLayout(display);
    }

    // The window once it has stopped moving: a window manager places it in its own time.
    std::optional<Window> atRest(std::uint32_t id) const
    {
        std::optional<Window> was;
        waitUntil([&] {
            runEventsFor(400);
            std::optional<Window> now;
            for (const Window& w : app->windows())
                if (w.id == id)
                    now = w;
            const bool still = now && was && now->outer == was->outer;
            was = now;
            return still;
        });
        return was;
    }

    QString display;
    std::unique_ptr<WindowManager> manager;
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
    const auto moved = atRest(bubble->id);
    ASSERT_TRUE(moved);
    ASSERT_EQ(moved->outer.topLeft(), QPoint(290, 870));
    app->click(*moved, 28, 28, 800);
    prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter) << "a click on the bubble unfolded no prompter window";
    const auto unfolded = atRest(prompter->id);
    ASSERT_TRUE(unfolded);
    const QRect screen = TwoOutputXServer::laptopArea();
    EXPECT_TRUE(screen.contains(unfolded->outer))
        << "the whole window stands at " << unfolded->outer.x() << "," << unfolded->outer.y() << " "
        << unfolded->outer.width() << "x" << unfolded->outer.height();
    EXPECT_GE(unfolded->frame.height(), 280) << "the window shrank to fit";
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, PrompterUnfoldTest, ::testing::Values(Manager::none, Manager::openbox),
                         [](const ::testing::TestParamInfo<Manager>& info) {
                             return info.param == Manager::openbox ? std::string("openbox")
                                                                   : std::string("noWindowManager");
                         });

} // namespace
