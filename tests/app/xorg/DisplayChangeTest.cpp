#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/RunningApplication.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <gtest/gtest.h>

#include <memory>

using namespace quorvia::test;

namespace {

const QColor desktop(0, 64, 64);
const QRect laptop = TwoOutputXServer::laptopArea();
const QRect projector = TwoOutputXServer::projectorArea();

// The screens change under a running talk: a lid closed and opened, a cable
// moved to the other side with another mode.
class DisplayChangeTest : public WindowManagedTwoOutputTest {
protected:
    void SetUp() override
    {
        WindowManagedTwoOutputTest::SetUp();
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->tool(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), desktop.name()}));
        ASSERT_TRUE(app->launch());
        ASSERT_TRUE(island = app->settledIsland());
        ASSERT_TRUE(app->waitUntilOffersPrivacyOutput(*island));
    }

    void TearDown() override
    {
        if (app && app->isRunning())
            EXPECT_TRUE(app->quit());
        app.reset();
        WindowManagedTwoOutputTest::TearDown();
    }

    // Live once the projector shows the laptop's desktop beside the island.
    bool goLive()
    {
        app->click(*island, controls::island::privacyButton, 200);
        return waitUntil([&] { return QColor(app->grab(QRect(projector.bottomLeft() + QPoint(100, -100), QSize(1, 1))).pixel(0, 0)) == desktop; });
    }
    bool laptopOff()
    {
        return TwoOutputXServer::xrandr(display, {QStringLiteral("--output"), QString::fromLatin1(TwoOutputXServer::laptopOutput),
                                                  QStringLiteral("--off"), QStringLiteral("--output"),
                                                  QString::fromLatin1(TwoOutputXServer::projectorOutput), QStringLiteral("--pos"),
                                                  QStringLiteral("0x0")});
    }
    bool anyWindowOfOurs(const std::function<bool(const QRect&)>& test) const
    {
        return std::ranges::any_of(app->windows(), [&](const auto& w) { return test(w.frame); });
    }

    std::unique_ptr<RunningApplication> app;
    std::optional<RunningApplication::Window> island;
};

TEST_P(DisplayChangeTest, ALiveOutputThroughTheLaptopScreenGoneAndBackLeavesTheMaskHomeAndTheCardOnTheProjector)
{
    ASSERT_TRUE(goLive());
    ASSERT_TRUE(laptopOff());
    runEventsFor(3000);
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil(
        [&] {
            // The retry button's blue face.
            const QColor face = app->grab(QRect(controls::overlay::retry, QSize(1, 1))).pixel(0, 0);
            return face.blue() > 200 && face.blue() - face.red() > 80
                   && anyWindowOfOurs([](const QRect& f) { return f == projector; });
        },
        5000))
        << "the mask's buttons or the projector's card are missing";
}

TEST_P(DisplayChangeTest, WithTheOutputOffNothingOfOursShowsWhileTheLaptopScreenIsGone)
{
    ASSERT_TRUE(laptopOff());
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_TRUE(app->windows().empty()) << "a window of ours shows on the projector";
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil([&] { return anyWindowOfOurs([](const QRect& f) { return laptop.contains(f); }); }, 5000));
}

TEST_P(DisplayChangeTest, AProjectorMovedLeftWithAnotherModeKeepsEveryAudienceWindowOffTheLaptop)
{
    ASSERT_TRUE(goLive());
    const QString projectorOutput = QString::fromLatin1(TwoOutputXServer::projectorOutput);
    ASSERT_TRUE(TwoOutputXServer::xrandr(display, {QStringLiteral("--addmode"), projectorOutput, QStringLiteral("1600x900")}));
    ASSERT_TRUE(TwoOutputXServer::xrandr(
        display, {QStringLiteral("--output"), QString::fromLatin1(TwoOutputXServer::projectorOutput), QStringLiteral("--mode"),
                  QStringLiteral("1600x900"), QStringLiteral("--pos"), QStringLiteral("0x0"), QStringLiteral("--output"),
                  QString::fromLatin1(TwoOutputXServer::laptopOutput), QStringLiteral("--pos"), QStringLiteral("1600x0")}));
    const QRect movedLaptop = laptop.translated(1600, 0);
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_FALSE(anyWindowOfOurs([&](const QRect& f) { return f.intersects(movedLaptop) && f != movedLaptop; }))
            << "an audience window lies over the laptop screen";
}

} // namespace

QUORVIA_UNDER_EACH_WINDOW_MANAGER(DisplayChangeTest);
