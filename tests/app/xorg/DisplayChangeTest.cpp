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
    // Each wholly on `home` (the manager's frame too), or covering `audience` exactly.
    bool allOfOursOn(const QRect& home, const QRect& audience = {}) const
    {
        return std::ranges::all_of(app->windows(), [&](const auto& w) { return home.contains(w.outer) || w.frame == audience; });
    }
    // The island at the top centre of the laptop screen standing at `home`.
    bool islandAtItsPlace(const QRect& home) const
    {
        const auto shown = app->windows();
        const auto it = std::ranges::find(shown, *island);
        return it != shown.end() && std::abs(it->frame.center().x() - home.center().x()) <= 1 && it->frame.top() == home.top() + 8;
    }
    bool maskDrawnOn(const QRect& home) const { const QColor c = pixel(home.topLeft() + controls::overlay::retry); return c.blue() > 200 && c.blue() - c.red() > 80; }

    // Where the projector goes, and where the laptop screen then stands.
    struct Arrangement {
        const char* name;
        QRect laptop, projector;
        QString xrandr() const
        {
            const QRect all = laptop.united(projector);
            return QStringLiteral("--fb %1x%2 --output DUMMY0 --mode 1920x1080 --pos %3x%4 --primary --output DUMMY1 --mode 1920x1080 --pos %5x%6")
                .arg(all.width()).arg(all.height()).arg(laptop.x()).arg(laptop.y()).arg(projector.x()).arg(projector.y());
        }
    };
    static inline const QRect first{0, 0, 1920, 1080}, second = first.translated(1920, 0), lower = first.translated(0, 1080);
    static inline const Arrangement above{"above", lower, first}, left{"left", second, first}, below{"below", first, lower}, right{"right", first, second};

    std::unique_ptr<RunningApplication> app;
    std::optional<RunningApplication::Window> island;
};

TEST_P(DisplayChangeTest, ALiveOutputThroughTheLaptopScreenGoneAndBackLeavesTheMaskHomeAndTheCardOnTheProjector)
{
    ASSERT_TRUE(goLive() && xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0")));
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100)) {
        const auto shown = app->windows();
        ASSERT_TRUE(shown.size() == 1 && shown.front().frame == first) << "the audience's card did not follow the projector to the origin";
    }
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil([&] { return maskDrawnOn(laptop) && anyOfOurs([](const QRect& f) { return f == projector; }); }, 5000));
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

TEST_P(DisplayChangeTest, AMaskUpFromAMirrorNeverStandsOnTheProjectorWhileTheLaptopScreenIsGone)
{
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY1 --same-as DUMMY0")));
    ASSERT_TRUE(waitUntil([&] { return maskDrawnOn(laptop); }, 5000));
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --off --output DUMMY1 --pos 0x0")));
    runEventsFor(500);
    for (int i = 0; i < 25; ++i, runEventsFor(100))
        ASSERT_TRUE(app->windows().empty()) << "the mask stood on the projector: it does not follow the speaker's screen";
    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(waitUntil([&] { return maskDrawnOn(laptop); }, 5000));
}

// Every window of ours lies wholly on the laptop screen within a second of
// each change, the island at its place, and none while only the projector is
// there to take the speaker's place.
TEST_P(DisplayChangeTest, WithTheOutputOffOurWindowsFollowTheLaptopScreenThroughEveryArrangement)
{
    // The settings and the alert that names a new project stand through it all.
    const auto settings = app->pressIslandSetting(*island, controls::settings::createProject);
    ASSERT_TRUE(settings && app->waitNewWindow({*island, *settings})) << "新建 asked no name";
    const auto followed = [&](const QRect& home) -> ::testing::AssertionResult {
        if (waitUntil([&] { return islandAtItsPlace(home) && allOfOursOn(home); }, 1000))
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << "windows of ours:";
        for (const auto& w : app->windows())
            failure << ' ' << w.name.toStdString() << '@' << w.outer.x() << ',' << w.outer.y() << ' ' << w.outer.width() << 'x' << w.outer.height();
        return failure;
    };
    for (const Arrangement& a : {above, left, above, below, right}) {
        SCOPED_TRACE(a.name);
        ASSERT_TRUE(xrandr(a.xrandr()));
        EXPECT_TRUE(followed(a.laptop));
    }
    // Unplugged from above: the laptop screen alone moves up to the root's corner.
    ASSERT_TRUE(xrandr(above.xrandr()) && xrandr(QStringLiteral("--output DUMMY1 --off")));
    EXPECT_TRUE(followed(laptop)) << "unplugged";
    ASSERT_TRUE(xrandr(right.xrandr()));
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY1 --primary")));
    runEventsFor(500);
    EXPECT_FALSE(anyOfOurs([](const QRect& f) { return f.intersects(projector); })) << "the projector stood in for the speaker's screen";
    ASSERT_TRUE(xrandr(QStringLiteral("--output DUMMY0 --primary")));
    EXPECT_TRUE(followed(laptop)) << "the primary back";
}

// Live, each change stops the output: the mask is drawn on the laptop screen
// where it now stands, and the projector shows nothing of ours but its page.
TEST_P(DisplayChangeTest, WhileLiveTheMaskFollowsTheLaptopScreenThroughEveryArrangement)
{
    ASSERT_TRUE(goLive());
    for (const Arrangement& a : {above, left, below, right}) {
        SCOPED_TRACE(a.name);
        ASSERT_TRUE(xrandr(a.xrandr()));
        EXPECT_TRUE(waitUntil([&] { return maskDrawnOn(a.laptop) && allOfOursOn(a.laptop, a.projector); }, 1000));
    }
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
