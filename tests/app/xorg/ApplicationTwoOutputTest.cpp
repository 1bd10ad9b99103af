#include "platform/linux/settings/SettingsDefaults.h"
#include "support/ApplicationControls.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/RunningApplication.h"
#include "support/StatusArea.h"
#include "support/TwoOutputXServer.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

using quorvia::test::RunningApplication;
using quorvia::test::StatusArea;
using quorvia::test::TwoOutputXServer;
using quorvia::test::waitUntil;
using Window = RunningApplication::Window;
namespace controls = quorvia::test::controls;

namespace {

std::string describe(const std::vector<Window>& windows)
{
    QStringList ids;
    for (const Window& w : windows)
        ids << QString::number(w.id);
    return ids.join(u' ').toStdString();
}

// The real executable on the server with a laptop screen and a projector.
class ApplicationTwoOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = TwoOutputXServer::display();
        if (display.isEmpty())
            FAIL() << "the test X server could not start";
        ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
        app = std::make_unique<RunningApplication>(display);
    }

    void TearDown() override
    {
        app.reset();
        TwoOutputXServer::restoreLayout(display);
    }

    bool xrandr(const QStringList& arguments) { return TwoOutputXServer::xrandr(display, arguments); }
    QString laptop() const { return QString::fromLatin1(TwoOutputXServer::laptopOutput); }
    QString projector() const { return QString::fromLatin1(TwoOutputXServer::projectorOutput); }

    // The projector copies the laptop, or stands right of it again.
    bool mirror() { return xrandr({QStringLiteral("--output"), projector(), QStringLiteral("--same-as"), laptop()}); }
    bool extend() { return xrandr({QStringLiteral("--output"), projector(), QStringLiteral("--right-of"), laptop()}); }
    // Until one window, none of `others`, shows alone (the mask); answers it.
    std::optional<Window> waitAlone(const std::vector<Window>& others = {}) const
    {
        std::optional<Window> alone;
        waitUntil([&] {
            const auto shown = app->windows();
            if (shown.size() == 1 && std::ranges::find(others, shown.front()) == others.end())
                alone = shown.front();
            return alone.has_value();
        });
        return alone;
    }
    // Starts the application while the projector copies the laptop; answers the mask.
    std::optional<Window> launchMirroredUntilTheMaskAloneShows()
    {
        return mirror() && app->launch() ? waitAlone() : std::nullopt;
    }

    // The mask's words, above the buttons the pointer lights up.
    QImage maskWords(const Window& mask) const
    {
        return app->windowImage(mask).copy(0, 0, mask.frame.width(), controls::overlay::retry.y() - 40);
    }

    // A retry pressed while the laptop is copied is refused with advice on the
    // mask, shown once every event before it is handled. Answers the words before.
    std::optional<QImage> refuseARetry(const Window& mask)
    {
        QImage before;
        // Settled once its white title stands centred: a first picture may be laid out otherwise.
        const auto titleCentred = [](const QImage& words) {
            qint64 sum = 0, n = 0;
            for (int y = 0; y < words.height(); ++y)
                for (int x = 0; x < words.width(); ++x)
                    if (qGray(words.pixel(x, y)) > 230) {
                        sum += x;
                        ++n;
                    }
            return n > 0 && std::abs(sum / n - words.width() / 2) <= 4;
        };
        if (!waitUntil([&] { return titleCentred(before = maskWords(mask)); }))
            return std::nullopt;
        app->click(mask, controls::overlay::retry, 0);
        return waitUntil([&] { return maskWords(mask) != before; }) ? std::optional(before) : std::nullopt;
    }

    // Extends the desktop again under the mask; handled once the advice goes.
    bool extendAgainUnder(const Window& mask)
    {
        const auto before = refuseARetry(mask);
        return before && extend() && waitUntil([&] { return maskWords(mask) == *before; });
    }

    QString display;
    std::unique_ptr<RunningApplication> app;
};

TEST_F(ApplicationTwoOutputTest, AnOutcomeAlertUpWhenMirroringStartsWaitsBehindTheShieldAndReturnsAfterIt)
{
    ASSERT_TRUE(app->launch());
    const auto island = app->settledIsland();
    ASSERT_TRUE(island);
    auto alert = app->failKeynoteImport(*island);
    ASSERT_TRUE(alert) << "the failed import raised no alert";

    // The projector copies the laptop: only the mask stays, over the laptop's whole screen.
    ASSERT_TRUE(mirror());
    const auto mask = waitAlone({*island, *alert});
    ASSERT_TRUE(mask);
    ASSERT_TRUE(extendAgainUnder(*mask));
    EXPECT_EQ(app->windows(), std::vector<Window>{*mask});

    app->click(*mask, controls::overlay::stopAndReturn, 300);
    alert.reset();
    ASSERT_TRUE(waitUntil([&] {
        for (const Window& w : app->windows())
            if (w != *island && w != *mask)
                alert = w;
        return alert && app->shows(*island);
    }));
    EXPECT_FALSE(app->shows(*mask));
    app->focus(*alert);
    app->key(QStringLiteral("Return"), 0);
    EXPECT_TRUE(waitUntil([&] { return app->windows() == std::vector<Window>{*island}; }));
}

// Started while the projector copied the laptop, then extended again: the
// speaker's way back from the mask brings the island onto the laptop screen,
// and the projector shows nothing of ours.
TEST_F(ApplicationTwoOutputTest, ReturningFromTheMaskOfAMirroredStartAfterExtendingBringsTheIslandBack)
{
    const QRect laptopArea = TwoOutputXServer::laptopArea();
    const QRect projectorArea = TwoOutputXServer::projectorArea();
    const QImage projectorBefore = app->grab(projectorArea);

    const auto mask = launchMirroredUntilTheMaskAloneShows();
    ASSERT_TRUE(mask) << describe(app->windows());

    // Until the speaker answers, the mask alone stays.
    ASSERT_TRUE(extendAgainUnder(*mask));
    EXPECT_EQ(app->windows(), std::vector<Window>{*mask});

    app->click(*mask, controls::overlay::stopAndReturn, 300);
    const auto island = waitAlone({*mask});
    ASSERT_TRUE(island) << "still shown: " << describe(app->windows());
    const QRect frame = island->frame;
    EXPECT_TRUE(laptopArea.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                            << frame.height();
    // Once it has drawn, the projector still shows only what it showed before the start.
    ASSERT_TRUE(waitUntil([&] { return !app->windowImage(*island).isNull(); }));
    EXPECT_TRUE(waitUntil([&] { return app->grab(projectorArea) == projectorBefore; })) << "the projector shows something new";
}

// The alert names a path under the home folder: started with the laptop
// mirrored, nothing but the mask shows, also once the start-up alert is due.
TEST_F(ApplicationTwoOutputTest, TheDamagedStoreAlertWaitsBehindTheMaskOfAMirroredStart)
{
    const QString store = app->folder() + QStringLiteral("/config/com.local.quorvia.mvp/defaults");
    {
        quorvia::platform::native::SettingsDefaults defaults(store, QString());
        defaults.setData(QStringLiteral("presentation.projects.v1"), QByteArray(96 << 10, '{'));
        defaults.flush();
    }
    // A stored value whose file went missing: the next start says so.
    const QStringList valueFiles = QDir(store).entryList({QStringLiteral("value-*.dat")}, QDir::Files);
    ASSERT_FALSE(valueFiles.isEmpty());
    for (const QString& file : valueFiles)
        ASSERT_TRUE(QFile::remove(store + u'/' + file));

    const auto mask = launchMirroredUntilTheMaskAloneShows();
    ASSERT_TRUE(mask) << describe(app->windows());
    // The retry comes after the turn the alert is raised in.
    ASSERT_TRUE(refuseARetry(*mask));
    EXPECT_EQ(app->windows(), std::vector<Window>{*mask}) << "something opened beside the mask";
}

} // namespace

namespace {

TEST_F(ApplicationTwoOutputTest, AModeForcedOnAThirdOutputCopyingTheLaptopWhileLiveLeavesOnlyTheMask)
{
    ASSERT_TRUE(app->launch());
    const auto island = app->waitWindow(QString());
    ASSERT_TRUE(island);
    ASSERT_TRUE(app->waitUntilOffersPrivacyOutput(*island)) << "the island never offered 启动隐私输出";
    app->click(*island, controls::island::privacyButton, 300);
    // The audience picture opens on the projector.
    ASSERT_TRUE(waitUntil([&] { return app->windows().size() >= 2; }));

    ASSERT_TRUE(xrandr({QStringLiteral("--addmode"), QStringLiteral("DUMMY2"), QStringLiteral("1920x1080")}));
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--mode"),
                        QStringLiteral("1920x1080"), QStringLiteral("--same-as"), laptop()}));
    EXPECT_TRUE(waitAlone({*island})) << describe(app->windows());
}

// The status icon stands in the desktop's status area, not among the windows
// the emergency key and the shield hide: it keeps its size, a click on it still
// brings the collapsed island back and its menu still works.
TEST_F(ApplicationTwoOutputTest, TheStatusIconOutlastsTheEmergencyKeyAndTheShield)
{
    StatusArea area(display);
    ASSERT_TRUE(area.start()) << area.failure().toStdString();
    ASSERT_TRUE(app->launch());
    const auto island = app->settledIsland();
    ASSERT_TRUE(island);
    std::optional<Window> icon;
    ASSERT_TRUE(waitUntil([&] { return (icon = app->statusIcon()) && icon->frame.width() > 1; }));
    const QSize whole = icon->frame.size();
    auto iconIsWhole = [&] { return (icon = app->statusIcon()) && icon->frame.size() == whole; };

    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->windows().empty(); }));
    app->pressEmergencyKey();
    ASSERT_TRUE(waitUntil([&] { return app->shows(*island); }));
    EXPECT_TRUE(iconIsWhole());

    ASSERT_TRUE(mirror());
    const auto mask = waitAlone({*island});
    ASSERT_TRUE(mask && extend());
    app->click(*mask, controls::overlay::stopAndReturn, 300);
    ASSERT_TRUE(waitUntil([&] { return app->shows(*island); }));
    ASSERT_TRUE(iconIsWhole()) << "the icon is gone or shrunk";

    const auto expanded = app->windows().front();
    app->click(expanded, expanded.frame.width() / 2, expanded.frame.height() - 38); // 收起到顶部
    ASSERT_TRUE(waitUntil([&] { return !app->shows(*island); }));
    app->clickAt(icon->frame.center());
    EXPECT_TRUE(waitUntil([&] { return app->shows(*island); })) << "a click on the icon left the island collapsed";

    const auto before = app->windows();
    app->tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(icon->frame.center().x()),
                                          QString::number(icon->frame.center().y()), QStringLiteral("click"),
                                          QStringLiteral("3")});
    ASSERT_TRUE(app->waitNewWindow(before)) << "the icon's menu did not open";
    app->key(QStringLiteral("Down Return"));
    EXPECT_TRUE(app->waitWindow(QStringLiteral("^关于Quorvia$")));
}

} // namespace
