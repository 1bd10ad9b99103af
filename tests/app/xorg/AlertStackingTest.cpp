#include "look/DarkColours.h"
#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/linux/settings/SettingsDefaults.h"
#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/MovingWindow.h"
#include "support/RunningApplication.h"
#include "support/ScreenPixels.h"
#include "support/StackingWatch.h"
#include "support/StatusArea.h"
#include "support/TwoOutputXServer.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace quorvia::test;

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

    // 稿件管理 open over the island, with a seeded script.
    bool openScriptManagement()
    {
        app = std::make_unique<RunningApplication>(display);
        app->seedScript(QStringLiteral("1\n开场\n---\n2\n收尾"));
        return app->launch() && (island = app->settledIsland()) && app->pressIslandSetting(*island, controls::settings::scriptManagement)
            && (management = app->waitWindow(QStringLiteral("^稿件管理$")));
    }

    // From 稿件管理, the confirmation to delete every block of a seeded script, standing.
    bool askToDeleteEveryBlock()
    {
        if (!openScriptManagement())
            return false;
        const auto known = app->windows();
        const auto asked = [&] {
            const auto shown = app->windows();
            const auto it = std::ranges::find_if(shown, [&](const auto& w) { return !std::ranges::count(known, w); });
            return it != shown.end() && (alert = *it, true);
        };
        // Pressed again until it asks: on a loaded machine 稿件管理 may not take a click as soon as it shows.
        return waitUntil([&] { return app->click(*management, controls::scriptManagement::deleteAll, 0), waitUntil(asked, 2000); });
    }

    // The projects as stored, while they can be read.
    std::optional<quorvia::StoredState> stored() const
    {
        const quorvia::platform::native::SettingsDefaults store(app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults"), QString());
        return quorvia::StoredState::fromJson(store.data(quorvia::PromptScript::projectsKey).value_or(QByteArray()));
    }

    std::unique_ptr<RunningApplication> app;
    std::optional<RunningApplication::Window> island, management, alert;
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
    // By its title, once it has stood a second: what the import showed on its way may come first.
    std::optional<RunningApplication::Window> alert;
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& w : app->windows(QStringLiteral("^Quorvia$")))
            if (w != *island)
                alert = w;
        quorvia::test::runEventsFor(1000);
        return alert && app->shows(*alert);
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
        // The alert belongs to the island, which openbox keeps in front with
        // it: there the reopen may have nothing to restack.
        if (GetParam() == quorvia::test::Manager::none)
            ASSERT_TRUE(watch.waitUntilRestacked(islandTop)) << "the reopen did not bring the island forward";
        else
            quorvia::test::runEventsFor(1000);
        EXPECT_TRUE(waitUntil([&] { return watch.placeNow(alertTop) > watch.placeNow(islandTop); }, 5000))
            << "the island covers the alert";
    }
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*alert); })) << "the alert did not answer";
}

// 稿件管理 asks before it deletes every block, and the speaker launches
// Quorvia again: the island comes forward beneath 稿件管理, which the alert
// belongs to, and the alert stays on top of both. Only the run without a window
// manager guards our own raise of the alert's window: openbox raises a
// transient's owner itself, so that half passes without it.
TEST_P(AlertStackingTest, AReopenStacksTheIslandThenTheAlertsOwnWindowThenTheAlert)
{
    ASSERT_TRUE(askToDeleteEveryBlock()) << "稿件管理 asked nothing";
    StackingWatch watch(display);
    QProcess second;
    ASSERT_TRUE(app->launchAnother(second) && RunningApplication::waitUntilEnded(second));
    ASSERT_TRUE(watch.waitUntilRestacked(watch.topLevelOf(island->id))) << "the reopen raised no island";
    const auto place = [&](const RunningApplication::Window& w) { return watch.placeNow(watch.topLevelOf(w.id)); };
    EXPECT_TRUE(waitUntil([&] { return place(*island) < place(*management) && place(*management) < place(*alert); }, 5000));
}

// With the editor open, 新建 is refused: the editor comes forward above the island, the refusal
// above both; once answered, the editor stays above the island, with the keyboard, as after its own refusal.
TEST_P(AlertStackingTest, ARefusedProjectCommandStacksAboveTheEditorAndEveryRefusalHandsItTheKeyboardBack)
{
    app = std::make_unique<RunningApplication>(display);
    app->seedScript(QStringLiteral("开场"));
    ASSERT_TRUE(app->launch() && (island = app->settledIsland()));
    app->click(*island, controls::island::editBlock, 800);
    const auto editor = app->waitWindow(QStringLiteral("^编辑稿件块"));
    const auto settings = editor ? app->pressIslandSetting(*island, controls::settings::createProject) : std::nullopt;
    ASSERT_TRUE(settings && (alert = app->waitNewWindow({*island, *editor, *settings}))) << "新建 was not refused";
    StackingWatch watch(display);
    const auto place = [&](const RunningApplication::Window& w) { return watch.placeNow(watch.topLevelOf(w.id)); };
    EXPECT_TRUE(waitUntil([&] { return place(*island) < place(*editor) && place(*editor) < place(*alert); }, 5000));
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    QString key;
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*alert) && place(*island) < place(*editor)
        && app->tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus"), QStringLiteral("-f")}, &key) && key.trimmed().toUInt() == editor->id; }, 5000));
    app->click(*editor, controls::scriptEditor::label);
    app->key(QStringLiteral("ctrl+a 0"));
    app->click(*editor, controls::scriptEditor::save(editor->frame.size()));
    ASSERT_TRUE((alert = app->waitNewWindow({*island, *editor, *settings})) && app->focus(*alert)) << "the label was not refused";
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*alert) && app->hasKeyboard(*editor); }, 5000));
}

// In 稿件管理 a demonstration block's label is refused right after the alert
// that took it: the refusal belongs to 稿件管理 too, and once answered
// 稿件管理 has the keyboard.
TEST_P(AlertStackingTest, ARefusalRightAfterAnotherAlertBelongsToTheWindowItWasAskedFrom)
{
    ASSERT_TRUE(openScriptManagement());
    auto known = app->windows();
    app->click(*management, controls::scriptManagement::addDemo);
    const auto asked = app->waitNewWindow(known);
    ASSERT_TRUE(asked && app->focus(*asked)) << "no label was asked";
    app->type(QStringLiteral("x1"));
    known.push_back(*asked);
    app->key(QStringLiteral("Return"), 0);
    ASSERT_TRUE(alert = app->waitNewWindow(known)) << "the label was not refused";
    EXPECT_EQ(app->transientFor(*alert), management->id);
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*alert) && app->hasKeyboard(*management); }, 5000));
}

// With 稿件管理 open, the backup chooser asked from the island and cancelled
// gives the keyboard back to the island, where the arrow keys step the script.
TEST_P(AlertStackingTest, ACancelledChooserGivesTheKeyboardBackToTheWindowItWasAskedFrom)
{
    ASSERT_TRUE(openScriptManagement());
    const auto chooser = app->pressIslandSetting(*island, controls::settings::importBackup)
        ? app->waitWindow(QStringLiteral("导入演讲项目备份")) : std::nullopt;
    ASSERT_TRUE(chooser && app->focus(*chooser)) << "the chooser did not open";
    // In the middle of the laptop screen, placed before its title bar's height is known.
    EXPECT_TRUE(std::ranges::any_of(app->windows(), [&](const auto& w) { return w == *chooser && (w.outer.center() - TwoOutputXServer::laptopArea().center()).manhattanLength() <= 16; }));
    app->key(QStringLiteral("Escape"), 0);
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*chooser) && app->hasKeyboard(*island); }, 5000));
}

// The emergency key hides 稿件管理's confirmation with everything else, not a
// pixel of it left on the screen; the second press brings it back above
// 稿件管理, still asking, and its answer deletes the blocks.
TEST_P(AlertStackingTest, AConfirmationHiddenByTheEmergencyKeyComesBackAndItsAnswerActs)
{
    const auto blocks = [&] { // as stored, -1 while none can be read
        const auto state = stored();
        return state && state->projects.size() == 1 ? int(state->projects[0].timelineBlocks.value_or(std::vector<quorvia::PromptTimelineBlock>()).size()) : -1;
    };
    ASSERT_TRUE(askToDeleteEveryBlock() && waitUntil([&] { return blocks() == 2; })) << "稿件管理 asked nothing";
    // Read once drawn where it stands: under load the window manager may show it first in a corner, not yet drawn.
    const QColor face = quorvia::dark_colours::darkAppearance().color(QPalette::Window);
    ASSERT_TRUE(waitUntil([&] {
        const auto shown = app->windows();
        const auto it = std::ranges::find(shown, *alert);
        const QImage drawn = it == shown.end() ? QImage() : (alert = *it, app->grab(alert->frame));
        return !drawn.isNull() && ScreenPixels::count(drawn, face) > drawn.width() * drawn.height() / 2;
    }, 5000)) << "the confirmation was never drawn";
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->windows().empty(); }));
    // A loaded window manager takes its frame, which still holds the alert's last picture, down a moment later.
    EXPECT_TRUE(waitUntil([&] { return ScreenPixels::count(app->grab(alert->frame), face) == 0; }, 5000)) << "the hidden alert shows";
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->shows(*alert); })) << "the confirmation did not come back";
    StackingWatch watch(display);
    EXPECT_TRUE(waitUntil([&] { return watch.placeNow(watch.topLevelOf(management->id)) < watch.placeNow(watch.topLevelOf(alert->id)); }, 5000))
        << "beneath 稿件管理";
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return blocks() == 0; })) << "全部删除 deleted nothing";
}

// Two rounds of the emergency key leave the keyboard with the island each
// time, as the server tells: the speaker's Control+Q still quits.
TEST_P(AlertStackingTest, TheIslandKeepsTheKeyboardThroughEveryHideAndRestore)
{
    app = std::make_unique<RunningApplication>(display);
    ASSERT_TRUE(app->launch() && (island = app->settledIsland()) && app->focus(*island));
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        app->pressEmergencyKey();
        ASSERT_TRUE(waitUntil([&] { return app->windows().empty(); })) << "nothing was hidden";
        app->pressEmergencyKey();
        ASSERT_TRUE(waitUntil([&] { return app->shows(*island); })) << "the island did not come back";
        EXPECT_TRUE(waitUntil([&] { return app->hasKeyboard(*island); }, 5000)) << "the island lost the keyboard";
    }
    app->key(QStringLiteral("ctrl+q"), 0);
    EXPECT_TRUE(RunningApplication::waitUntilEnded(app->process(), 10000) && app->process().exitCode() == 0);
}

// Pressed while another program has the keyboard, the emergency key hides and
// restores without ever taking it, whatever of ours comes back, the output off
// or live, a modal confirmation too: the server's focus and the window
// manager's active window stay there.
TEST_P(AlertStackingTest, AnotherProgramKeepsTheKeyboardThroughAHideAndARestore)
{
    const struct {
        const char* name;
        bool management, live, confirmation;
    } rows[] = {{"the island alone", false, false, false}, {"稿件管理 open", true, false, false},
                {"稿件管理 open, live", true, true, false}, {"稿件管理 asking to delete every block", true, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (app) {
            ASSERT_TRUE(app->quit());
        }
        if (row.confirmation) {
            ASSERT_TRUE(askToDeleteEveryBlock()) << "稿件管理 asked nothing";
        } else if (row.management) {
            ASSERT_TRUE(openScriptManagement());
        } else {
            app = std::make_unique<RunningApplication>(display);
            ASSERT_TRUE(app->launch() && (island = app->settledIsland()));
            management.reset();
        }
        if (row.live) {
            const auto audienceShown = [&] { return std::ranges::any_of(app->windows(), [](const auto& w) { return w.frame == TwoOutputXServer::projectorArea(); }); };
            ASSERT_TRUE(app->waitUntilOffersPrivacyOutput(*island));
            app->click(*island, controls::island::privacyButton, 0);
            ASSERT_TRUE(waitUntil(audienceShown)) << "the output did not start";
        }
        MovingWindow program(QRect(300, 500, 400, 300), qRgb(40, 90, 160), 0, display.toUtf8().constData(), true);
        program.map();
        const RunningApplication::Window other{program.id(), {}, {}, {}};
        ASSERT_TRUE(app->focus(other));
        // openbox names the window it gave the keyboard; nothing names one without a window manager.
        const auto othersKept = [&] {
            QString active;
            return app->hasKeyboard(other)
                && (GetParam() != Manager::openbox
                    || (app->tool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}, &active) && active.trimmed().toUInt() == program.id()));
        };
        ASSERT_TRUE(waitUntil(othersKept, 5000));
        app->pressEmergencyKey();
        ASSERT_TRUE(waitUntil([&] { return !app->shows(*island); })) << "nothing was hidden";
        app->pressEmergencyKey();
        ASSERT_TRUE(waitUntil([&] { return app->shows(*island) && (!management || app->shows(*management)) && (!row.confirmation || app->shows(*alert)); }))
            << "the windows did not come back";
        EXPECT_FALSE(waitUntil([&] { return !othersKept(); }, 1500)) << "the restore took the keyboard";
        // Still modal, to openbox and to Qt: the keyboard given to 稿件管理 goes on to its alert.
        // Without a window manager the server refuses that, asked at a time older than the focus it moves.
        if (row.confirmation && GetParam() == Manager::openbox) {
            EXPECT_TRUE(app->hasState(*alert, "_NET_WM_STATE_MODAL")) << "openbox was not told the alert stands modal";
            ASSERT_TRUE(app->focus(*management));
            EXPECT_TRUE(waitUntil([&] { return app->hasKeyboard(*alert); }, 5000)) << "稿件管理 kept the keyboard past its alert";
        }
    }
}

// Only a window manager holds the whole keyboard so: run under openbox alone.
class AlertStackingUnderAWindowManagerTest : public AlertStackingTest {};

// The emergency key hides everything while openbox holds the whole keyboard:
// in a drag by the title bar, in its keyboard move, with its desktop menu
// open. Each press acts once: the next one, after openbox lets go, restores.
TEST_P(AlertStackingUnderAWindowManagerTest, TheEmergencyKeyActsWhileTheWindowManagerHoldsTheKeyboard)
{
    ASSERT_TRUE(openScriptManagement());
    const int others = app->shownTopLevelsOfOthers(); // openbox's menus aside
    const auto xdotool = [&](const QString& command) { return app->tool(QStringLiteral("xdotool"), command.split(u' ')); };
    const auto at = [](QPoint p) { return QStringLiteral("%1 %2").arg(p.x()).arg(p.y()); };
    const auto current = [&] {
        const auto shown = app->windows();
        const auto it = std::ranges::find(shown, *management);
        return it == shown.end() ? std::nullopt : std::optional(*it);
    };
    const struct {
        const char* name;
        bool moves;
        QString hold, letGo;
    } cases[] = {
        {"a drag by the title bar", true,
         QStringLiteral("mousemove TITLE mousedown 1 sleep 0.1 mousemove_relative 20 10 sleep 0.1 mousemove_relative 40 20"),
         QStringLiteral("mouseup 1")},
        {"the keyboard move", true, QStringLiteral("key alt+space sleep 0.5 key m sleep 0.5 key Right Right"), QStringLiteral("key Return")},
        {"the desktop menu", false, QStringLiteral("mousemove EMPTY click 3"), QStringLiteral("key Escape")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(app->focus(*management));
        const auto before = current();
        ASSERT_TRUE(before);
        const QPoint title(before->outer.center().x(), (before->outer.top() + before->frame.top()) / 2);
        const QPoint empty = TwoOutputXServer::laptopArea().bottomLeft() + QPoint(40, -40);
        ASSERT_TRUE(xdotool(QString(c.hold).replace(QStringLiteral("TITLE"), at(title)).replace(QStringLiteral("EMPTY"), at(empty))));
        ASSERT_TRUE(waitUntil([&] {
            const auto now = current();
            return c.moves ? now && now->frame != before->frame : app->shownTopLevelsOfOthers() > others;
        }, 5000)) << "openbox did not take the keyboard";
        app->pressEmergencyKey();
        EXPECT_TRUE(waitUntil([&] { return app->windows().empty(); }, 500)) << "nothing was hidden";
        ASSERT_TRUE(xdotool(c.letGo) && waitUntil([&] { return app->shownTopLevelsOfOthers() == others; }, 5000)) << "openbox holds on";
        app->pressEmergencyKey();
        ASSERT_TRUE(waitUntil([&] { return app->shows(*island) && app->shows(*management); })) << "the windows did not come back";
    }
}

// 稿件管理 lies open behind the island; the script editor, opened from the
// island and cancelled, gives the keyboard back to the island, not to the
// window out of sight.
TEST_P(AlertStackingTest, TheCancelledScriptEditorGivesTheKeyboardBackToTheIsland)
{
    ASSERT_TRUE(openScriptManagement());
    // A reopen brings the island forward, over 稿件管理.
    StackingWatch watch(display);
    QProcess second;
    ASSERT_TRUE(app->launchAnother(second) && RunningApplication::waitUntilEnded(second));
    ASSERT_TRUE(waitUntil([&] { return watch.placeNow(watch.topLevelOf(management->id)) < watch.placeNow(watch.topLevelOf(island->id)); }, 10000));
    ASSERT_TRUE(app->focus(*management));
    app->click(*island, controls::island::editBlock, 800);
    const auto editor = app->waitWindow(QStringLiteral("^编辑稿件块"));
    ASSERT_TRUE(editor && app->focus(*editor)) << "the editor did not open";
    app->click(*editor, controls::scriptEditor::cancel(editor->frame.size()));
    EXPECT_TRUE(waitUntil([&] { return !app->shows(*editor) && app->hasKeyboard(*island); }, 5000));
}

// 新建's name alert keeps what the speaker typed through the emergency key's
// hide and restore, nothing selected anew: later keys add to it.
TEST_P(AlertStackingTest, TypedTextStaysThroughTheEmergencyKeyAndLaterKeysAddToIt)
{
    app = std::make_unique<RunningApplication>(display);
    ASSERT_TRUE(app->launch() && (island = app->settledIsland()));
    const auto settings = app->pressIslandSetting(*island, controls::settings::createProject);
    ASSERT_TRUE(settings && (alert = app->waitNewWindow({*island, *settings})) && app->focus(*alert)) << "新建 asked no name";
    app->type(QStringLiteral("ABQ"));
    runEventsFor(1000); // the key comes on a connection of its own: the letters first
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->windows().empty(); })) << "nothing was hidden";
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->shows(*alert); }) && app->focus(*alert)) << "the alert did not come back";
    app->type(QStringLiteral("XYZ"));
    app->key(QStringLiteral("Return"), 0);
    QString made;
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& project : stored().value_or(quorvia::StoredState()).projects)
            made = project.name.endsWith(QStringLiteral("XYZ")) ? project.name : made;
        return !made.isEmpty();
    })) << "no project was made";
    EXPECT_EQ(made.toStdString(), "ABQXYZ");
}

// While 稿件管理's confirmation stands, the status icon still answers: a click
// brings the island forward with the alert in front of it, and the menu's
// 退出 quits as Control+Q does, with status 0.
TEST_P(AlertStackingTest, TheStatusIconAndItsMenuAnswerWhileAnAlertStands)
{
    StatusArea area(display);
    ASSERT_TRUE(area.start()) << area.failure().toStdString();
    std::optional<RunningApplication::Window> icon;
    ASSERT_TRUE(askToDeleteEveryBlock() && waitUntil([&] { return (icon = app->statusIcon()) && icon->frame.width() > 1; }));
    StackingWatch watch(display);
    app->clickAt(icon->frame.center());
    ASSERT_TRUE(watch.waitUntilRestacked(watch.topLevelOf(island->id))) << "a click on the icon did not bring the island forward";
    EXPECT_TRUE(waitUntil([&] { return watch.placeNow(watch.topLevelOf(island->id)) < watch.placeNow(watch.topLevelOf(alert->id)); }, 5000));
    ASSERT_TRUE(app->tool(QStringLiteral("xdotool"), {QStringLiteral("click"), QStringLiteral("3")})
                && app->waitNewWindow({*island, *management, *alert})) << "the icon's menu did not open";
    app->key(QStringLiteral("Up Return"), 0);
    EXPECT_TRUE(RunningApplication::waitUntilEnded(app->process()) && app->process().exitStatus() == QProcess::NormalExit
                && app->process().exitCode() == 0) << "退出 did not quit cleanly";
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(AlertStackingTest);
INSTANTIATE_TEST_SUITE_P(WindowManagers, AlertStackingUnderAWindowManagerTest, ::testing::Values(Manager::openbox), managerName);

} // namespace
