#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/RunningApplication.h"
#include "support/ScreenPixels.h"
#include "support/StackingWatch.h"
#include "support/StatusArea.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

using quorvia::test::RunningApplication;
using quorvia::test::ScreenPixels;
using quorvia::test::StatusArea;
using quorvia::test::StackingWatch;
using quorvia::test::waitUntil;
using quorvia::test::WindowManagedTwoOutputTest;
namespace controls = quorvia::test::controls;

namespace {

class AlertStackingTest : public WindowManagedTwoOutputTest {
protected:
    void TearDown() override
    {
        if (app && app->isRunning()) {
            EXPECT_TRUE(app->quit());
        }
        app.reset();
        WindowManagedTwoOutputTest::TearDown();
    }

    struct Asked {
        RunningApplication::Window island, management, alert;
    };
    // From 稿件管理, the confirmation to delete every block of a seeded script, standing.
    std::optional<Asked> askToDeleteEveryBlock()
    {
        app = std::make_unique<RunningApplication>(display);
        app->seedScript(QStringLiteral("1\n开场\n---\n2\n收尾"));
        const auto island = app->launch() ? app->settledIsland() : std::nullopt;
        const auto management = island && app->pressIslandSetting(*island, controls::settings::scriptManagement)
                                     ? app->waitWindow(QStringLiteral("^稿件管理$")) : std::nullopt;
        const auto known = app->windows();
        if (management)
            app->click(*management, controls::scriptManagement::deleteAll);
        const auto alert = management ? app->waitNewWindow(known) : std::nullopt;
        return alert ? std::optional(Asked{*island, *management, *alert}) : std::nullopt;
    }
    // The blocks of the one project as stored, -1 while none can be read.
    int storedBlocks() const
    {
        using namespace quorvia;
        const QString folder = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults");
        const platform::native::SettingsDefaults store(folder, QString());
        const auto state = StoredState::fromJson(store.data(PromptScript::projectsKey).value_or(QByteArray()));
        if (!state || state->projects.size() != 1)
            return -1;
        return state->projects[0].timelineBlocks ? int(state->projects[0].timelineBlocks->size()) : 0;
    }

    std::unique_ptr<RunningApplication> app;
};

// An import's result alert is up, and the speaker launches Quorvia again: the
// reopen brings the island forward, and the alert with it, never beneath it.
TEST_P(AlertStackingTest, AnOpenAlertStaysAboveTheIslandThroughEveryReopen)
{
    app = std::make_unique<RunningApplication>(display);
    ASSERT_TRUE(app->launch());
    const auto island = app->settledIsland();
    ASSERT_TRUE(island);
    ASSERT_TRUE(app->failKeynoteImport(*island)) << "the failed import raised no alert";
    // By its title: a tooltip of the island may have come up first.
    std::optional<RunningApplication::Window> alert;
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& w : app->windows(QStringLiteral("^Quorvia$")))
            if (w != *island)
                alert = w;
        return alert.has_value();
    })) << "no alert titled Quorvia";

    for (int reopen = 0; reopen < 3; ++reopen) {
        SCOPED_TRACE(::testing::Message() << "reopen " << reopen + 1);
        StackingWatch watch(display);
        const std::uint32_t islandTop = watch.topLevelOf(island->id);
        const std::uint32_t alertTop = watch.topLevelOf(alert->id);
        ASSERT_TRUE(islandTop && alertTop);
        ASSERT_TRUE(waitUntil([&] { return watch.placeNow(alertTop) > watch.placeNow(islandTop); }, 10000))
            << "the alert is beneath the island";

        QProcess second;
        ASSERT_TRUE(app->launchAnother(second));
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitCode(), 0) << "the second launch did not hand over";
        ASSERT_TRUE(watch.waitUntilRestacked(islandTop)) << "the reopen did not bring the island forward";
        EXPECT_TRUE(waitUntil([&] { return watch.placeNow(alertTop) > watch.placeNow(islandTop); }, 5000))
            << "the island covers the alert";
    }
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*alert); })) << "the alert did not answer";
}

// 稿件管理 asks before it deletes every block, and the speaker launches
// Quorvia again: the island comes forward beneath 稿件管理, which the alert
// belongs to, and the alert stays on top of both.
TEST_P(AlertStackingTest, AReopenStacksTheIslandThenTheAlertsOwnWindowThenTheAlert)
{
    const auto asked = askToDeleteEveryBlock();
    ASSERT_TRUE(asked) << "稿件管理 asked nothing";
    StackingWatch watch(display);
    const auto place = [&](const RunningApplication::Window& w) { return watch.placeNow(watch.topLevelOf(w.id)); };
    QProcess second;
    ASSERT_TRUE(app->launchAnother(second) && RunningApplication::waitUntilEnded(second));
    ASSERT_TRUE(watch.waitUntilRestacked(watch.topLevelOf(asked->island.id))) << "the reopen raised no island";
    const auto &island = asked->island, &own = asked->management, &alert = asked->alert;
    EXPECT_TRUE(waitUntil([&] { return place(island) < place(own) && place(own) < place(alert); }, 5000))
        << "island " << place(island) << ", 稿件管理 " << place(own) << ", alert " << place(alert);
}

// The emergency key hides 稿件管理's confirmation with everything else, not a
// pixel of it left on the screen; the second press brings it back above
// 稿件管理, still asking, and its answer deletes the blocks.
TEST_P(AlertStackingTest, AConfirmationHiddenByTheEmergencyKeyComesBackAndItsAnswerActs)
{
    const auto asked = askToDeleteEveryBlock();
    ASSERT_TRUE(asked && waitUntil([&] { return storedBlocks() == 2; })) << "稿件管理 asked nothing";
    const QImage shown = app->grab(asked->alert.frame);
    const QColor face = shown.pixelColor(4, shown.height() - 4);
    ASSERT_GT(ScreenPixels::count(shown, face), shown.width() * shown.height() / 2);
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->windows().empty(); }));
    EXPECT_EQ(ScreenPixels::count(app->grab(asked->alert.frame), face), 0) << "the hidden alert shows";
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->shows(asked->alert); })) << "the confirmation did not come back";
    StackingWatch watch(display);
    const auto place = [&](const RunningApplication::Window& w) { return watch.placeNow(watch.topLevelOf(w.id)); };
    EXPECT_TRUE(waitUntil([&] { return place(asked->management) < place(asked->alert); }, 5000)) << "beneath 稿件管理";
    app->focus(asked->alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return storedBlocks() == 0; })) << "全部删除 deleted nothing";
}

// While 稿件管理's confirmation stands, the status icon still answers: a click
// brings the island forward with the alert in front of it, and the menu's
// 退出 quits as Control+Q does.
TEST_P(AlertStackingTest, TheStatusIconAndItsMenuAnswerWhileAnAlertStands)
{
    StatusArea area(display);
    ASSERT_TRUE(area.start()) << area.failure().toStdString();
    const auto asked = askToDeleteEveryBlock();
    std::optional<RunningApplication::Window> icon;
    ASSERT_TRUE(asked && waitUntil([&] { return (icon = app->statusIcon()) && icon->frame.width() > 1; }));
    StackingWatch watch(display);
    const std::uint32_t island = watch.topLevelOf(asked->island.id), alert = watch.topLevelOf(asked->alert.id);
    app->clickAt(icon->frame.center());
    ASSERT_TRUE(watch.waitUntilRestacked(island)) << "a click on the icon did not bring the island forward";
    EXPECT_TRUE(waitUntil([&] { return watch.placeNow(island) < watch.placeNow(alert); }, 5000));
    const auto before = app->windows();
    app->tool(QStringLiteral("xdotool"), {QStringLiteral("click"), QStringLiteral("3")});
    ASSERT_TRUE(app->waitNewWindow(before)) << "the icon's menu did not open";
    app->key(QStringLiteral("Up Return"), 0);
    // How the process then ends is the quit's own matter, alert or not.
    EXPECT_TRUE(RunningApplication::waitUntilEnded(app->process())) << "退出 did not quit";
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(AlertStackingTest);

} // namespace
