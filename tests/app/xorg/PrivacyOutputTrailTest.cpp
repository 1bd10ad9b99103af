#include "support/ApplicationControls.h"
#include "support/AudienceWatch.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/RunningApplication.h"
#include "support/TwoOutputXServer.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <QPainter>
#include <QRegion>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

using quorvia::test::AudienceWatch;
using quorvia::test::RunningApplication;
using quorvia::test::runEventsFor;
using quorvia::test::waitUntil;
using quorvia::test::TwoOutputXServer;
using quorvia::test::WindowManagedTwoOutputTest;
using Window = RunningApplication::Window;
namespace controls = quorvia::test::controls;

namespace {

constexpr int W = TwoOutputXServer::outputWidth;
constexpr int H = TwoOutputXServer::outputHeight;
const QRect laptop = TwoOutputXServer::laptopArea();
const QRect projector = TwoOutputXServer::projectorArea();
const QColor desktopColour(0, 64, 64);
const QColor foreignColour(255, 0, 255);
// Where the pointer waits, so the audience picture carries none.
const QPoint pointerAway(2 * W - 5, H - 5);

// Another program's window, which the audience must see: a black picture
// cannot pass for the desktop.
class ForeignWindow : public QWidget {
public:
    ForeignWindow()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(1300, 760, 400, 240);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), foreignColour); }
};

// Where a private window stood, the projector shows the desktop again once the
// server has drawn it, after the window folded, moved or shrank while the
// output was live; no picture on the way shows any of it.
class PrivacyOutputTrailTest : public WindowManagedTwoOutputTest {
protected:
    void SetUp() override
    {
        WindowManagedTwoOutputTest::SetUp();
        if (HasFatalFailure())
            return;
        app = std::make_unique<RunningApplication>(display);
        ASSERT_TRUE(app->tool(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), desktopColour.name()}));
        foreign.show();
        app->seedScript(RunningApplication::scrollingTalk());
        ASSERT_TRUE(app->start());
        auto found = app->waitWindow(QString());
        ASSERT_TRUE(found);
        island = *found;
        ASSERT_TRUE(app->waitUntilOffersPrivacyOutput(island)) << "the island never offered 启动隐私输出";
        runEventsFor(300);
    }

    void TearDown() override
    {
        if (HasFailure() && app) {
            const QString test = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name())
                                     .replace(QLatin1Char('/'), QLatin1Char('-'));
            app->grab(laptop).save(QStringLiteral("/tmp/quorvia-trail-%1-laptop.png").arg(test));
            app->grab(projector).save(QStringLiteral("/tmp/quorvia-trail-%1-projector.png").arg(test));
        }
        if (app && app->isRunning()) {
            EXPECT_TRUE(app->quit());
        }
        app.reset();
        WindowManagedTwoOutputTest::TearDown();
    }

    std::optional<Window> detach()
    {
        app->click(island, controls::island::detach.x(), controls::island::detach.y(), 800);
        return app->waitWindow(QStringLiteral("^私密提词窗口"));
    }

    void startOutput()
    {
        app->click(island, controls::island::privacyButton.x(), controls::island::privacyButton.y(), 200);
        app->movePointer(pointerAway);
        const QRect where = foreign.geometry();
        ASSERT_TRUE(waitUntil(
            [&] {
                return AudienceWatch::pixelsOfColour(app->grab(projector), where, foreignColour)
                       > where.width() * where.height() * 9 / 10;
            }))
            << "the privacy output did not go live";
    }

    std::optional<QRect> outerOf(std::uint32_t id) const
    {
        for (const auto& w : app->windows())
            if (w.id == id)
                return w.outer;
        return std::nullopt;
    }

    // The part of `where` on the laptop screen that no window covers now.
    QRegion bareDesktopIn(QRegion where) const
    {
        where &= laptop;
        for (const auto& w : app->windows())
            where -= w.outer;
        where -= foreign.geometry();
        return where;
    }

    static int desktopPixels(const QImage& picture, const QRegion& where)
    {
        int count = 0;
        for (const QRect& rect : where)
            count += AudienceWatch::pixelsOfColour(picture, rect, desktopColour);
        return count;
    }

    static int area(const QRegion& region)
    {
        int total = 0;
        for (const QRect& rect : region)
            total += rect.width() * rect.height();
        return total;
    }

    // The laptop shows the bare desktop at `where`; the projector must follow.
    void expectDesktopReturns(const QRegion& where)
    {
        ASSERT_GT(area(where), 0) << "nothing of the place the window left is bare";
        app->movePointer(pointerAway);
        ASSERT_TRUE(waitUntil([&] { return desktopPixels(app->grab(laptop), where) == area(where); }))
            << "the laptop screen itself does not show the desktop where the window was";
        int shown = 0;
        const bool returned = waitUntil(
            [&] {
                shown = desktopPixels(app->grab(projector), where);
                return shown == area(where);
            });
        EXPECT_TRUE(returned) << "the projector shows " << area(where) - shown << " of " << area(where)
                              << " pixels where the window stood otherwise than the desktop";
    }

    // Read on a while after the window settled, then stopped.
    void expectNoPrivatePixels(AudienceWatch& watch)
    {
        EXPECT_TRUE(waitUntil([&] { return watch.tally().frames >= 10; }));
        const AudienceWatch::Tally tally = watch.stop();
        EXPECT_EQ(tally.framesWithPrivatePixels, 0)
            << "the worst of " << tally.frames << " frames had " << tally.mostPrivatePixels
            << " private pixels; saved to /tmp/quorvia-trail-leak.png";
        if (tally.framesWithPrivatePixels > 0)
            tally.worstFrame.save(QStringLiteral("/tmp/quorvia-trail-leak.png"));
    }

    std::unique_ptr<RunningApplication> app;
    ForeignWindow foreign;
    Window island;
};

TEST_P(PrivacyOutputTrailTest, FoldingThePrompterIntoItsBubbleLeavesNoTrail)
{
    auto prompter = detach();
    ASSERT_TRUE(prompter) << "分离窗口 opened no prompter window";
    // Clear of the other program's window, which tells that the output is live.
    app->moveWindow(*prompter, {100, 480});
    runEventsFor(500);
    startOutput();
    prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter);
    AudienceWatch watch(display, projector);
    watch.start();

    const QRect stood = prompter->outer;
    const auto before = app->windows();
    watch.pointerWasAt(prompter->frame.topLeft() + controls::prompter::collapse);
    app->click(*prompter, controls::prompter::collapse.x(), controls::prompter::collapse.y(), 0);
    app->movePointer(pointerAway);
    ASSERT_TRUE(app->waitNewWindow(before)) << "缩成圆点 showed no bubble";
    // The fold animates: the bare place is known once the bubble has shrunk.
    ASSERT_TRUE(waitUntil(
        [&] {
            int bubbles = 0;
            for (const Window& w : app->windows())
                if (std::find(before.begin(), before.end(), w) == before.end() && (++bubbles, w.outer.width() >= 100))
                    return false;
            return bubbles > 0 && app->windows(QStringLiteral("^私密提词窗口")).empty();
        }))
        << "the prompter did not fold into a small bubble";
    expectDesktopReturns(bareDesktopIn(stood));
    expectNoPrivatePixels(watch);
}

TEST_P(PrivacyOutputTrailTest, DraggingThePrompterInFineStepsLeavesNoTrail)
{
    auto prompter = detach();
    ASSERT_TRUE(prompter) << "分离窗口 opened no prompter window";
    app->moveWindow(*prompter, {100, 420});
    runEventsFor(500);
    startOutput();
    prompter = app->waitWindow(QStringLiteral("^私密提词窗口"));
    ASSERT_TRUE(prompter);
    AudienceWatch watch(display, projector);
    watch.start();

    const QPoint step(10, 4);
    const int steps = 40;
    QRegion path;
    for (int i = 0; i <= steps; ++i)
        path += prompter->outer.translated(step * i);
    app->moveWindowInSteps(*prompter, step, steps, 10);
    // A window manager takes the moves in its own time, later on a loaded
    // machine: what is bare is known once the window has come to rest.
    const QRect last = prompter->outer.translated(step * steps);
    waitUntil([&] { return outerOf(prompter->id) == last; });
    std::optional<QRect> was;
    ASSERT_TRUE(waitUntil([&] {
        runEventsFor(500);
        const auto now = outerOf(prompter->id);
        return now && std::exchange(was, now) == now;
    })) << "the prompter never came to rest";
    expectDesktopReturns(bareDesktopIn(path));
    expectNoPrivatePixels(watch);
}

TEST_P(PrivacyOutputTrailTest, DetachingThePrompterShrinksTheIslandWithoutATrail)
{
    startOutput();
    AudienceWatch watch(display, projector);
    watch.start();

    const auto stood = outerOf(island.id);
    ASSERT_TRUE(stood);
    ASSERT_TRUE(detach()) << "分离窗口 opened no prompter window";
    app->movePointer(pointerAway);
    // The island shrinks once the script has left it.
    ASSERT_TRUE(waitUntil([&] { return outerOf(island.id) && outerOf(island.id)->height() < stood->height(); }))
        << "the island did not shrink";
    runEventsFor(500);
    expectDesktopReturns(bareDesktopIn(*stood));
    expectNoPrivatePixels(watch);
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(PrivacyOutputTrailTest);

} // namespace
