#include "app/ApplicationProcessFixture.h"
#include "platform/linux/SettingsDefaults.h"
#include "support/TwoOutputXServer.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

using quorvia::test::TwoOutputXServer;

namespace {

// The real executable on the server with a laptop screen and a projector.
class ApplicationTwoOutputTest : public quorvia::test::ApplicationProcessFixture {
protected:
    QString displayName() const override { return TwoOutputXServer::display(); }

    void SetUp() override
    {
        ApplicationProcessFixture::SetUp();
        ASSERT_TRUE(TwoOutputXServer::restoreLayout(displayName()));
    }

    void TearDown() override
    {
        ApplicationProcessFixture::TearDown();
        TwoOutputXServer::restoreLayout(displayName());
    }

    bool xrandr(const QStringList& arguments) { return TwoOutputXServer::xrandr(displayName(), arguments); }
    QString laptop() const { return QString::fromLatin1(TwoOutputXServer::laptopOutput); }
    QString projector() const { return QString::fromLatin1(TwoOutputXServer::projectorOutput); }

    // Starts the application while the projector copies the laptop; answers the
    // one window it shows then (the mask), or nothing if it never came alone.
    QString launchMirroredUntilTheMaskAloneShows()
    {
        if (!xrandr({QStringLiteral("--output"), projector(), QStringLiteral("--same-as"), laptop()}))
            return {};
        launch(first);
        QString mask;
        waitFor([&] {
            const QStringList shown = visibleWindows(first);
            if (shown.size() != 1)
                return false;
            mask = shown.front();
            return true;
        });
        return mask;
    }
};

TEST_F(ApplicationTwoOutputTest, anOutcomeAlertUpWhenMirroringStartsWaitsBehindTheShieldAndReturnsAfterIt)
{
    QString alert = launchWithFailedImportAlert();
    ASSERT_FALSE(alert.isEmpty()) << "the failed import raised no alert";

    // The projector copies the laptop: only the mask stays, over the laptop's whole screen.
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), projector(), QStringLiteral("--same-as"), laptop()}));
    QString mask;
    ASSERT_TRUE(waitFor([&] {
        const QStringList shown = visibleWindows(first);
        if (shown.size() != 1 || shown.front() == island || shown.front() == alert)
            return false;
        mask = shown.front();
        return true;
    }));
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), projector(), QStringLiteral("--right-of"), laptop()}));
    QThread::msleep(1500);
    EXPECT_EQ(visibleWindows(first), QStringList{mask});

    clickIn(mask, 756, 655); // "关闭输出并返回"
    alert.clear();
    ASSERT_TRUE(waitFor([&] {
        for (const QString& id : visibleWindows(first))
            if (id != island && id != mask)
                alert = id;
        return !alert.isEmpty() && visibleWindows(first).contains(island);
    }));
    EXPECT_FALSE(visibleWindows(first).contains(mask));
    focusAndType(alert, {QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(waitFor([&] { return visibleWindows(first) == QStringList{island}; }));
}

// Started while the projector copied the laptop, then extended again: the
// speaker's way back from the mask brings the island onto the laptop screen,
// and the projector shows nothing of ours.
TEST_F(ApplicationTwoOutputTest, returningFromTheMaskOfAMirroredStartAfterExtendingBringsTheIslandBack)
{
    const QRect laptopArea = TwoOutputXServer::laptopArea();
    const QRect projectorArea = TwoOutputXServer::projectorArea();
    const QImage projectorBefore = rootImage().copy(projectorArea);

    const QString mask = launchMirroredUntilTheMaskAloneShows();
    ASSERT_FALSE(mask.isEmpty()) << visibleWindows(first).join(u' ').toStdString();

    ASSERT_TRUE(xrandr({QStringLiteral("--output"), projector(), QStringLiteral("--right-of"), laptop()}));
    // Until the speaker answers, the mask alone stays.
    QThread::msleep(1500);
    EXPECT_EQ(visibleWindows(first), QStringList{mask});

    clickIn(mask, 756, 655); // "关闭输出并返回"
    ASSERT_TRUE(waitFor([&] {
        const QStringList shown = visibleWindows(first);
        return shown.size() == 1 && shown.front() != mask;
    })) << "still shown: " << visibleWindows(first).join(u' ').toStdString();
    island = visibleWindows(first).front();
    const QRect frame = windowFrame(island);
    EXPECT_TRUE(laptopArea.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                            << frame.height();
    // Once it has drawn, the projector still shows only what it showed before the start.
    ASSERT_TRUE(waitFor([&] { return !windowImage(island).isNull(); }));
    QThread::msleep(500);
    const QImage projectorAfter = rootImage().copy(projectorArea);
    ASSERT_EQ(projectorAfter.size(), projectorBefore.size());
    EXPECT_TRUE(projectorAfter == projectorBefore) << "the projector shows something new";
}

// The alert names a path under the home folder: started with the laptop
// mirrored, nothing but the mask shows, also once the start-up alert is due.
TEST_F(ApplicationTwoOutputTest, theDamagedStoreAlertWaitsBehindTheMaskOfAMirroredStart)
{
    const QString store = folders.filePath(QStringLiteral("config/com.local.quorvia.mvp/defaults"));
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

    const QString mask = launchMirroredUntilTheMaskAloneShows();
    ASSERT_FALSE(mask.isEmpty()) << visibleWindows(first).join(u' ').toStdString();
    // Well past the turn the alert is raised in.
    QThread::msleep(2000);
    EXPECT_EQ(visibleWindows(first), QStringList{mask}) << "something opened beside the mask";
}

} // namespace

namespace {

TEST_F(ApplicationTwoOutputTest, aModeForcedOnAThirdOutputCopyingTheLaptopWhileLiveLeavesOnlyTheMask)
{
    launch(first);
    ASSERT_TRUE(waitFor([&] { return viewableWindows(first) >= 1; }));
    QThread::msleep(500);
    island = visibleWindows(first).front();
    clickIn(island, 556, 89); // "启动隐私输出"
    // The audience picture opens on the projector.
    ASSERT_TRUE(waitFor([&] { return visibleWindows(first).size() >= 2; }));

    ASSERT_TRUE(xrandr({QStringLiteral("--addmode"), QStringLiteral("DUMMY2"), QStringLiteral("1920x1080")}));
    ASSERT_TRUE(xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--mode"),
                        QStringLiteral("1920x1080"), QStringLiteral("--same-as"), laptop()}));
    QString mask;
    EXPECT_TRUE(waitFor([&] {
        const QStringList shown = visibleWindows(first);
        if (shown.size() != 1 || shown.front() == island)
            return false;
        mask = shown.front();
        return true;
    })) << visibleWindows(first).join(u' ').toStdString();
}

} // namespace
