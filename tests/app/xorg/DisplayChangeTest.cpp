#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/RunningApplication.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <gtest/gtest.h>

using namespace quorvia::test;

namespace {

const QColor desktop(0, 64, 64);
const QRect laptop = TwoOutputXServer::laptopArea(), projector = TwoOutputXServer::projectorArea();

// The screens change under a talk: the laptop screen off and on, the projector moved.
class DisplayChangeTest : public WindowManagedTwoOutputTest {
protected:
    void SetUp() override
    {
        WindowManagedTwoOutputTest::SetUp();
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->tool(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), desktop.name()}) && app->launch());
        ASSERT_TRUE((island = app->settledIsland()) && app->waitUntilOffersPrivacyOutput(*island));
    }
    void TearDown() override { app.reset(), WindowManagedTwoOutputTest::TearDown(); }
    QColor pixel(QPoint at) const { return app->grab(QRect(at, QSize(1, 1))).pixel(0, 0); }
    // Live once the projector shows the laptop's desktop beside the island.
    bool goLive()
    {
        app->click(*island, controls::island::privacyButton, 200);
        return waitUntil([&] { return pixel(projector.bottomLeft() + QPoint(100, -100)) == desktop; });
    }
    bool xrandr(const QString& arguments) { return TwoOutputXServer::xrandr(display, arguments.split(u' ')); }
    bool anyOfOurs(const std::function<bool(const QRect&)>& test) const { return std::ranges::any_of(app->windows(), [&](const auto& w) { return test(w.frame); }); }

    std::unique_ptr<RunningApplication> app;
    std::optional<RunningApplication::Window> island;
};

TEST_P(DisplayChangeTest, ALiveOutputThroughTheLaptopScreenGoneAndBackLeavesTheMaskHomeAndTheCardOnTheProjector)
{
    ASSERT_TRUE(goLive() && xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0")));
    runEventsFor(3000);
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    const auto retryDrawn = [&] { const QColor c = pixel(controls::overlay::retry); return c.blue() > 200 && c.blue() - c.red() > 80; };
    EXPECT_TRUE(waitUntil([&] { return retryDrawn() && anyOfOurs([](const QRect& f) { return f == projector; }); }, 5000));
}

TEST_P(DisplayChangeTest, WithTheOutputOffNothingOfOursShowsWhileTheLaptopScreenIsGone)
{
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0")));
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_TRUE(app->windows().empty());
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil([&] { return anyOfOurs([](const QRect& f) { return laptop.contains(f); }); }, 5000));
}

TEST_P(DisplayChangeTest, AProjectorMovedLeftWithAnotherModeKeepsEveryAudienceWindowOffTheLaptop)
{
    ASSERT_TRUE(goLive() && xrandr(QStringLiteral("--addmode DUMMY1 1600x900")));
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY1 --mode 1600x900 --pos 0x0 --output DUMMY0 --pos 1600x0")));
    const QRect movedLaptop = laptop.translated(1600, 0);
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_FALSE(anyOfOurs([&](const QRect& f) { return f.intersects(movedLaptop) && f != movedLaptop; }));
    EXPECT_TRUE(anyOfOurs([](const QRect& f) { return f == QRect(0, 0, 1600, 900); }));
}

} // namespace

QUORVIA_UNDER_EACH_WINDOW_MANAGER(DisplayChangeTest);
