#include "support/ApplicationControls.h"
#include "support/AudienceWatch.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"

#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

using quorvia::test::AudienceWatch;
using quorvia::test::RunningApplication;
using quorvia::test::runEventsFor;
using quorvia::test::waitUntil;
using quorvia::test::TwoOutputXServer;
using Window = RunningApplication::Window;
namespace controls = quorvia::test::controls;

namespace {

constexpr int W = TwoOutputXServer::outputWidth;
constexpr int H = TwoOutputXServer::outputHeight;
const QRect laptop = TwoOutputXServer::laptopArea();
const QRect projector = TwoOutputXServer::projectorArea();
// Colours no private window paints: the desktop and another program's window.
const QColor desktopColour(0, 64, 64);
const QColor foreignColour(255, 0, 255);
const QColor reasonYellow(255, 214, 10);

// Another program's window on the laptop screen, where no private window
// opens: the audience must see it, so a black picture cannot pass.
class ForeignWindow : public QWidget {
public:
    ForeignWindow()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(760, 760, 440, 260);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), foreignColour); }
};


std::string describe(const std::vector<Window>& windows)
{
    QStringList names;
    for (const auto& w : windows)
        names << QStringLiteral("\"%1\" %2x%3+%4+%5").arg(w.name).arg(w.frame.width()).arg(w.frame.height()).arg(w.frame.x()).arg(w.frame.y());
    return QStringLiteral("%1 windows stand: %2").arg(windows.size()).arg(names.join(QStringLiteral(", "))).toStdString();
}

// The real executable on the laptop screen and projector of a private Xorg.
class PrivacyOutputEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = TwoOutputXServer::display();
        ASSERT_FALSE(display.isEmpty()) << "the two-output test X server did not start";
        ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->tool(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), desktopColour.name()}));
        foreign.show();
        app->seedScript(RunningApplication::scrollingTalk());
        ASSERT_TRUE(app->start());
        auto found = app->waitWindow(QString());
        ASSERT_TRUE(found);
        island = *found;
        ASSERT_TRUE(app->waitUntilOffersPrivacyOutput(island))
            << "the island never offered 启动隐私输出: " << describe(app->windows()) << " colour "
            << QColor(app->grab(QRect(island.frame.topLeft() + controls::island::privacyButton, QSize(1, 1))).pixel(0, 0)).name().toStdString();
        runEventsFor(300);
    }

    void TearDown() override
    {
        if (HasFailure()) {
            const QString test = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
            app->grab(laptop).save(QStringLiteral("/tmp/quorvia-e2e-%1-laptop.png").arg(test));
            app->grab(projector).save(QStringLiteral("/tmp/quorvia-e2e-%1-projector.png").arg(test));
        }
        if (app && app->isRunning()) {
            EXPECT_TRUE(app->quit());
        }
        TwoOutputXServer::restoreLayout(display);
    }

    QRect foreignOnProjector() const { return foreign.geometry().translated(-laptop.topLeft()); }

    // The output is live when the projector shows the other program's window
    // where it stands on the laptop screen.
    bool audienceSeesForeignWindow(int timeoutMs = 60000)
    {
        return waitUntil(
            [&] {
                const QRect where = foreignOnProjector();
                return AudienceWatch::pixelsOfColour(app->grab(projector), where, foreignColour)
                       > where.width() * where.height() * 9 / 10;
            },
            timeoutMs);
    }

    void toggleOutput() { app->click(island, controls::island::privacyButton.x(), controls::island::privacyButton.y(), 200); }

    void startOutput()
    {
        toggleOutput();
        ASSERT_TRUE(audienceSeesForeignWindow()) << "the privacy output did not go live";
    }

    std::optional<Window> openSettings()
    {
        const auto before = app->windows();
        app->click(island, controls::island::gear.x(), controls::island::gear.y(), 800);
        return app->waitNewWindow(before);
    }

    // The editor, the prompter window, script management and the audio setup,
    // out of one another's way: the editor and script management cannot open
    // while the output runs, so they open first.
    void openPrivateWindows()
    {
        app->click(island, controls::island::editBlock.x(), controls::island::editBlock.y(), 800);
        const auto editor = app->waitWindow(QStringLiteral("^编辑稿件块"));
        ASSERT_TRUE(editor) << "编辑当前块 opened no editor";
        app->moveWindow(*editor, {20, 540});
        app->click(island, controls::island::detach.x(), controls::island::detach.y(), 800);
        ASSERT_TRUE(app->waitWindow(QStringLiteral("^私密提词窗口"))) << "分离窗口 opened no prompter window";
        auto settings = openSettings();
        ASSERT_TRUE(settings) << "the gear opened no settings";
        app->click(*settings, controls::settings::scriptManagement.x(), controls::settings::scriptManagement.y(), 800);
        const auto management = app->waitWindow(QStringLiteral("^稿件管理$"));
        ASSERT_TRUE(management) << "稿件管理 opened no window";
        app->moveWindow(*management, {40, 40});
        settings = openSettings();
        ASSERT_TRUE(settings);
        app->click(*settings, controls::settings::audioDevices.x(), controls::settings::audioDevices.y(), 800);
        ASSERT_TRUE(app->waitWindow(QStringLiteral("^音频设备$"))) << "音频设备 opened no window";
    }

    std::vector<Window> windowsOn(const QRect& screen) const
    {
        std::vector<Window> found;
        for (const auto& w : app->windows())
            if (screen.intersects(w.frame))
                found.push_back(w);
        return found;
    }

    // On a still screen, the audience's picture catches up and shows nothing
    // where a private window stands (what it showed meanwhile the watch judges).
    void expectBlankWherePrivateWindowsStand()
    {
        QImage picture;
        std::vector<Window> windows;
        const auto blank = [&](const Window& w) {
            const QRect where = w.frame.intersected(laptop).adjusted(1, 1, -1, -1);
            return AudienceWatch::pixelsOfColour(picture, where, Qt::black) == where.width() * where.height();
        };
        waitUntil([&] {
            picture = app->grab(projector);
            windows = windowsOn(laptop);
            return !windows.empty() && std::all_of(windows.begin(), windows.end(), blank);
        });
        EXPECT_GE(windows.size(), 1u);
        for (const auto& w : windows)
            EXPECT_TRUE(blank(w)) << "window \"" << w.name.toStdString() << "\" at " << w.frame.x() << "," << w.frame.y();
    }

    // The audience watch has judged at least this many frames; then its tally.
    // A loaded server answers few grabs a second, so this waits past the usual bound.
    AudienceWatch::Tally tallyAfter(AudienceWatch& watch, int frames)
    {
        waitUntil([&] { return watch.tally().frames >= frames; }, 150000);
        return watch.stop();
    }

    // Tries again until the audience sees the laptop screen, each try given
    // twice the time of the one before: the first may come before the
    // application has seen the layout come back, and a try that is merely slow
    // must not be undone by the next.
    bool startAgainAfterTheLayoutReturns(const std::function<void()>& attempt)
    {
        for (int waitMs = 2000; waitMs <= 64000; waitMs *= 2) {
            attempt();
            if (audienceSeesForeignWindow(waitMs))
                return true;
        }
        return false;
    }

    void retryFromTheOverlay()
    {
        if (!onlyTheOverlayStands())
            return;
        if (const auto overlay = app->waitWindow(QString()))
            app->click(*overlay, controls::overlay::retry.x(), controls::overlay::retry.y(), 300);
    }

    void expectNoPrivatePixels(const AudienceWatch::Tally& tally, int atLeastFrames)
    {
        EXPECT_GE(tally.frames, atLeastFrames);
        EXPECT_EQ(tally.framesWithPrivatePixels, 0)
            << "the worst of " << tally.frames << " frames had " << tally.mostPrivatePixels
            << " private pixels (frames " << tally.firstLeakingFrame << " to " << tally.lastLeakingFrame
            << " leaked); saved to /tmp/quorvia-e2e-leak.png";
        if (tally.framesWithPrivatePixels > 0)
            tally.worstFrame.save(QStringLiteral("/tmp/quorvia-e2e-leak.png"));
        std::printf("audience frames checked: %d\n", tally.frames);
    }

    // Only the safety overlay is up, over the whole laptop screen, with its reason.
    bool onlyTheOverlayStands() const
    {
        const auto shown = app->windows();
        return shown.size() == 1 && shown.front().frame.contains(laptop)
               && AudienceWatch::pixelsOfColour(app->grab(laptop), laptop, reasonYellow) > 200;
    }

    QString display;
    std::unique_ptr<RunningApplication> app;
    ForeignWindow foreign;
    Window island;
};

TEST_F(PrivacyOutputEndToEndTest, TheAudienceSeesTheLaptopScreenWithoutAnyPrivateWindow)
{
    openPrivateWindows();
    startOutput();
    AudienceWatch watch(display, projector);
    watch.start();
    expectBlankWherePrivateWindowsStand();
    // The settings popover, which the output leaves open for the audio devices.
    ASSERT_TRUE(openSettings());
    expectBlankWherePrivateWindowsStand();
    expectNoPrivatePixels(tallyAfter(watch, 300), 300);
    EXPECT_TRUE(audienceSeesForeignWindow());
}

TEST_F(PrivacyOutputEndToEndTest, MirroringHidesEveryPrivateWindowAndRaisesTheOverlay)
{
    openPrivateWindows();
    startOutput();
    const QString projectorOutput = QString::fromLatin1(TwoOutputXServer::projectorOutput);
    ASSERT_TRUE(TwoOutputXServer::xrandr(display, {QStringLiteral("--output"), projectorOutput, QStringLiteral("--same-as"),
                                                   QString::fromLatin1(TwoOutputXServer::laptopOutput)}));
    // Every private window hidden, the output stopped (its window gone from the
    // projector) and the overlay up with its reason. That the display watch
    // sees it at its next check is tested on virtual time.
    EXPECT_TRUE(waitUntil([&] { return onlyTheOverlayStands(); })) << describe(app->windows());
}

TEST_F(PrivacyOutputEndToEndTest, WindowsThatMoveOpenCloseAndFoldStayOutOfEveryFrame)
{
    openPrivateWindows();
    startOutput();
    AudienceWatch watch(display, projector);
    watch.start();

    auto prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter);
    for (const QPoint to : {QPoint(900, 420), QPoint(300, 600), QPoint(1276, 578)}) {
        app->moveWindow(*prompter, to);
        runEventsFor(300);
    }
    prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter);
    auto before = app->windows();
    app->click(*prompter, controls::prompter::collapse.x(), controls::prompter::collapse.y(), 800);
    const auto bubble = app->waitNewWindow(before);
    ASSERT_TRUE(bubble) << "缩成圆点 showed no bubble";
    app->click(*bubble, bubble->frame.width() / 2, bubble->frame.height() / 2, 800);
    EXPECT_TRUE(app->waitWindow(QStringLiteral("^私密提词窗口"))) << "the bubble did not expand";

    // The settings popover opens over the island and closes on a click outside it.
    for (int round = 0; round < 2; ++round) {
        const auto settings = openSettings();
        ASSERT_TRUE(settings);
        app->clickAt({1700, 300}, 800);
        EXPECT_TRUE(waitUntil(
            [&] {
                const auto shown = app->windows();
                return std::none_of(shown.begin(), shown.end(), [&](const Window& w) { return w.id == settings->id; });
            }));
    }

    expectNoPrivatePixels(tallyAfter(watch, 300), 300);
    expectBlankWherePrivateWindowsStand();
    EXPECT_TRUE(audienceSeesForeignWindow());
}

TEST_F(PrivacyOutputEndToEndTest, TheEmergencyKeyPausesTheLiveOutputAndTheSecondPressResumesIt)
{
    app->click(island, controls::island::detach.x(), controls::island::detach.y(), 800);
    startOutput();
    // Well past the start: the state is live, not still on its way there.
    runEventsFor(1500);
    const auto shownBefore = app->windows().size();
    AudienceWatch watch(display, projector);
    watch.start();

    app->key(QStringLiteral("ctrl+alt+super+h"), 0);
    EXPECT_TRUE(waitUntil([&] { return windowsOn(laptop).empty(); }))
        << windowsOn(laptop).size() << " private windows still stand";
    runEventsFor(1500);
    EXPECT_TRUE(windowsOn(laptop).empty()) << "a private window came back while the key's hide was in force";

    app->key(QStringLiteral("ctrl+alt+super+h"), 0);
    EXPECT_TRUE(waitUntil([&] { return app->windows().size() == shownBefore; }));
    // Live again: the audience follows the laptop screen.
    foreign.move(foreign.pos() + QPoint(-200, 0));
    EXPECT_TRUE(audienceSeesForeignWindow());
    expectNoPrivatePixels(tallyAfter(watch, 20), 20);
}

TEST_F(PrivacyOutputEndToEndTest, RetryAfterExtendingAgainBringsTheOutputAndTheWindowsBack)
{
    app->click(island, controls::island::detach.x(), controls::island::detach.y(), 800);
    startOutput();
    const auto shownBefore = app->windows().size();
    ASSERT_TRUE(TwoOutputXServer::xrandr(display, {QStringLiteral("--output"), QString::fromLatin1(TwoOutputXServer::projectorOutput),
                                                   QStringLiteral("--same-as"), QString::fromLatin1(TwoOutputXServer::laptopOutput)}));
    ASSERT_TRUE(waitUntil([&] { return onlyTheOverlayStands(); })) << describe(app->windows());

    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    EXPECT_TRUE(startAgainAfterTheLayoutReturns([&] { retryFromTheOverlay(); }))
        << "重新尝试隐私输出 did not bring the output back: "
                                                   << describe(app->windows());
    EXPECT_TRUE(waitUntil([&] { return app->windows().size() == shownBefore; }))
        << describe(app->windows());
    expectBlankWherePrivateWindowsStand();
}

TEST_F(PrivacyOutputEndToEndTest, RemovingTheProjectorFailsClosedAndAddingItBackLetsTheOutputStartAgain)
{
    startOutput();
    const QString projectorOutput = QString::fromLatin1(TwoOutputXServer::projectorOutput);
    ASSERT_TRUE(TwoOutputXServer::xrandr(display, {QStringLiteral("--output"), projectorOutput, QStringLiteral("--off")}));
    // Failed closed: the audience window is gone and nothing private stands unshielded.
    EXPECT_TRUE(waitUntil([&] { return windowsOn(projector).empty(); })) << describe(app->windows());
    // Either shielded, or stopped with the windows back: never nothing at all,
    // once the windows have come to rest.
    std::vector<std::uint32_t> shown;
    EXPECT_TRUE(waitUntil([&] {
        runEventsFor(1000);
        std::vector<std::uint32_t> now;
        for (const auto& w : app->windows())
            now.push_back(w.id);
        return !now.empty() && std::exchange(shown, now) == now;
    })) << describe(app->windows());

    ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
    if (onlyTheOverlayStands()) {
        EXPECT_TRUE(startAgainAfterTheLayoutReturns([&] { retryFromTheOverlay(); }))
            << "the output did not start again: " << describe(app->windows());
    } else {
        auto again = app->waitWindow(QString());
        ASSERT_TRUE(again);
        island = *again;
        EXPECT_TRUE(startAgainAfterTheLayoutReturns([&] {
            if (windowsOn(projector).empty())
                toggleOutput();
        })) << "the output did not start again: " << describe(app->windows());
    }
}

TEST_F(PrivacyOutputEndToEndTest, AutoScrollMovesTheScriptWhileLiveAndStopsWithTheOutput)
{
    app->click(island, controls::island::detach.x(), controls::island::detach.y(), 800);
    const auto prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter);
    startOutput();
    const QRect script(prompter->frame.left(), prompter->frame.top() + controls::prompter::scriptTop,
                       prompter->frame.width(), controls::prompter::scriptBottom - controls::prompter::scriptTop);
    const QImage still = app->grab(script);
    app->click(*prompter, controls::prompter::autoScroll.x(), controls::prompter::autoScroll.y(), 0);
    EXPECT_TRUE(waitUntil([&] { return app->grab(script) != still; }))
        << "auto-scroll did not move the script";

    toggleOutput();
    ASSERT_TRUE(waitUntil([&] { return windowsOn(projector).empty(); })) << "the output did not stop";
    // At rest once stopped, however long the stop took to reach the script.
    QImage stopped = app->grab(script);
    EXPECT_TRUE(waitUntil([&] {
        runEventsFor(300);
        const QImage now = app->grab(script);
        const bool still = now == stopped;
        stopped = now;
        return still;
    })) << "the script still scrolls after the output stopped";
    runEventsFor(1500);
    EXPECT_EQ(app->grab(script), stopped) << "the script started scrolling again after the output stopped";
}

} // namespace
