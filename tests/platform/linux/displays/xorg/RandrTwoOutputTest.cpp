#include "platform/linux/displays/RandrDisplayService.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TwoOutputXServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace quorvia;
using namespace quorvia::platform;
using native::RandrDisplayService;
using test::TwoOutputXServer;

namespace {

QString describe(const std::vector<Screen>& screens)
{
    QString text;
    for (const Screen& s : screens)
        text += QStringLiteral("[%1 %2,%3 built-in %4 pending %5 mirrored %6] ")
                    .arg(s.localizedName)
                    .arg(s.frame.minX())
                    .arg(s.frame.minY())
                    .arg(s.isBuiltIn)
                    .arg(s.isBuiltInPendingWindowSystem)
                    .arg(s.isInMirrorSet);
    for (const QScreen* q : QGuiApplication::screens())
        text += QStringLiteral("qt %1 at %2,%3 ").arg(q->name()).arg(q->geometry().x()).arg(q->geometry().y());
    return text;
}

// The dummy projector's output reads disconnected while it shows a picture,
// as a projector with a forced mode does: Qt must still come to agree with
// the server after each rearrangement, or the speaker's screen stays unknown.
class RandrTwoOutputTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TwoOutputXServer::restoreLayout(display)); }
    void TearDown() override { TwoOutputXServer::restoreLayout(display); }

    bool xrandr(const QStringList& arguments) { return TwoOutputXServer::xrandr(display, arguments); }

    const QString display = TwoOutputXServer::display();
    const QString laptop = QString::fromLatin1(TwoOutputXServer::laptopOutput);
    const QString projector = QString::fromLatin1(TwoOutputXServer::projectorOutput);
};

TEST_F(RandrTwoOutputTest, MirroringAndExtendingAgainEachSettleOnAKnownLaptopScreen)
{
    RandrDisplayService service(display.toLocal8Bit());
    ASSERT_TRUE(service.isAvailable());
    ASSERT_TRUE(test::waitUntil([&] {
        const auto screens = service.screens();
        return screens.size() == 2 && screens.front().isBuiltIn;
    })) << describe(service.screens()).toStdString();

    ASSERT_TRUE(xrandr({QStringLiteral("--output"), projector, QStringLiteral("--same-as"), laptop}));
    EXPECT_TRUE(test::waitUntil([&] {
        const auto screens = service.screens();
        return screens.size() == 1 && screens.front().isBuiltIn && screens.front().isInMirrorSet;
    })) << describe(service.screens()).toStdString();

    ASSERT_TRUE(xrandr({QStringLiteral("--output"), projector, QStringLiteral("--right-of"), laptop}));
    EXPECT_TRUE(test::waitUntil([&] {
        const auto screens = service.screens();
        return screens.size() == 2 && screens.front().isBuiltIn && !screens.front().isInMirrorSet
               && !screens.back().isBuiltIn && !screens.back().isInMirrorSet;
    })) << describe(service.screens()).toStdString();
    // Qt places the projector where the server shows it.
    for (const QScreen* q : QGuiApplication::screens()) {
        if (q->name() == projector) {
            EXPECT_EQ(q->geometry(), QRect(TwoOutputXServer::outputWidth, 0, TwoOutputXServer::outputWidth,
                                           TwoOutputXServer::outputHeight));
        }
    }
}

} // namespace
