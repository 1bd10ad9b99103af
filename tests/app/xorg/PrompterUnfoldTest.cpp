#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <QDeadlineTimer>
#include <gtest/gtest.h>

#include <algorithm>
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

    // Presses 分离窗口 on the island, and answers the prompter window it opens.
    std::optional<Window> detach() const
    {
        const auto island = app->waitWindow(QString());
        if (!island)
            return std::nullopt;
        app->click(*island, controls::island::detach, 800);
        return app->waitWindow(QStringLiteral("^私密提词窗口"));
    }

    std::unique_ptr<RunningApplication> app;
};

// The bubble low on the laptop screen: the window that unfolds from it is
// pushed up, its title bar and border included, to stay on that screen.
TEST_P(PrompterUnfoldTest, NearTheBottomEdgeTheWholeWindowStaysOnTheScreen)
{
    auto prompter = detach();
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

// Bubbles all over the laptop screen: each unfolds the window at the bubble,
// its top right corner on the bubble's, pushed onto the screen where it would
// leave it, and never where the window manager's frame put it first.
TEST_P(PrompterUnfoldTest, TwentyUnfoldsEachLandAtTheirBubble)
{
    auto prompter = detach();
    ASSERT_TRUE(prompter) << "分离窗口 opened no prompter window";
    const QRect screen = TwoOutputXServer::laptopArea();
    QRect outer;
    // Detached, it stands near the screen's top right corner.
    EXPECT_TRUE(waitUntil([&] {
        outer = outerOf(prompter->id).value_or(QRect());
        return outer.right() == screen.right() - 24 && outer.bottom() == screen.bottom() - 42;
    }, 5000)) << "detached at " << outer.x() << "," << outer.y();
    for (int i = 0; i < 20; ++i) {
        const QPoint bubbleAt(screen.width() * (i % 5) / 4 - 56 * (i % 5) / 4, screen.height() * (i / 5) / 3 - 56 * (i / 5) / 3);
        SCOPED_TRACE(::testing::Message() << "bubble at " << bubbleAt.x() << "," << bubbleAt.y());
        const auto before = app->windows();
        app->click(*prompter, controls::prompter::collapse, 0);
        const auto bubble = app->waitNewWindow(before);
        ASSERT_TRUE(bubble) << "缩成圆点 showed no bubble";
        // Moved only once it has come to rest at the window's top right corner.
        const QRect rest(outer.right() - 55, outer.top(), 56, 56);
        ASSERT_TRUE(waitUntil([&] { return outerOf(bubble->id) == rest; }, 5000)) << "the bubble did not settle";
        // The last steps of the collapse may leave the bubble where it comes
        // to rest while it still ignores a click, and a move asked of the
        // window manager may be dropped: both are asked again until they hold.
        const QRect moved(bubbleAt, QSize(56, 56));
        QDeadlineTimer again(0);
        ASSERT_TRUE(waitUntil([&] {
            if (!app->windows(QStringLiteral("^私密提词窗口")).empty())
                return true;
            if (again.hasExpired()) {
                if (outerOf(bubble->id) != moved)
                    app->moveWindow(*bubble, bubbleAt);
                else
                    app->clickAt(bubbleAt + QPoint(28, 28), 0);
                again.setRemainingTime(500);
            }
            return false;
        }, 20000)) << "the bubble at " << outerOf(bubble->id).value_or(QRect()).x() << ","
                   << outerOf(bubble->id).value_or(QRect()).y() << " unfolded no prompter window";
        prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
        ASSERT_TRUE(prompter);
        QRect expected(QPoint(), outer.size());
        expected.moveTopRight(QPoint(bubbleAt.x() + 55, bubbleAt.y()));
        expected.moveLeft(std::clamp(expected.left(), 0, screen.right() - expected.width() + 1));
        expected.moveTop(std::clamp(expected.top(), 0, screen.bottom() - expected.height() + 1));
        EXPECT_TRUE(waitUntil([&] {
            outer = outerOf(prompter->id).value_or(QRect());
            return outer == expected;
        }, 5000)) << "the window stands at " << outer.x() << "," << outer.y() << " " << outer.width() << "x"
            << outer.height() << ", not at " << expected.x() << "," << expected.y();
        if (i % 5 == 4) {
            // Hidden by the emergency key and brought back, it stands there again.
            app->pressEmergencyKey();
            ASSERT_TRUE(waitUntil([&] { return app->windows().empty(); })) << "the emergency key hid nothing";
            app->pressEmergencyKey();
            EXPECT_TRUE(waitUntil([&] { return outerOf(prompter->id) == expected; }, 5000)) << "not restored there";
            outer = outerOf(prompter->id).value_or(QRect());
        }
        // Where it stands now is where the next collapse is pressed.
        prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
        ASSERT_TRUE(prompter);
    }
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(PrompterUnfoldTest);

} // namespace
